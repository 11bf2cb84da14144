#!/usr/bin/env bash
# The checks CI enforces besides the tests: formatting, static analysis, and
# the link and modflash tests under ThreadSanitizer. The normal build already
# treats every compiler warning as an error (NX_WERROR, on by default).
#
#   bash scripts/checks.sh [format|tidy|tsan]...   (no argument: all three)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
sources() { git ls-files -- '*.cpp' '*.h'; }

check_format() {
    echo "== clang-format"
    local drift=()
    while IFS= read -r f; do
        clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || drift+=("$f")
    done < <(sources)
    if ((${#drift[@]})); then
        echo "clang-format: these files drift from .clang-format (run clang-format -i on them):"
        printf '  %s\n' "${drift[@]}"
        return 1
    fi
    echo "clang-format: no drift"
}

check_tidy() {
    echo "== clang-tidy"
    local build=build-tidy
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
    # The generated moc sources must exist before the analysis reads them.
    local autogen
    autogen=$(cmake --build "$build" --target help | grep -o '[A-Za-z0-9_.-]*_autogen$' | sort -u)
    # shellcheck disable=SC2086
    cmake --build "$build" -j"$jobs" --target $autogen >/dev/null
    local dirs
    dirs=$(ls -d platform config link mainwindow pages scope hart modflash gwflash sim app 2>/dev/null | paste -sd'|')
    local log="$build/clang-tidy.log"
    if ! run-clang-tidy -p "$build" -j "$jobs" -quiet "$PWD/($dirs)/.*\\.cpp$" >"$log" 2>&1; then
        grep -E '(warning|error): ' "$log" | grep -v 'warnings generated' | sort -u || true
        echo "clang-tidy: findings above (whole log: $log)"
        return 1
    fi
    echo "clang-tidy: no findings"
}

check_tsan() {
    echo "== ThreadSanitizer (link and modflash tests)"
    local build=build-tsan
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DNX_TSAN=ON >/dev/null
    cmake --build "$build" -j"$jobs" --target link_tests modflash_tests
    local status=0 t supp=$PWD/scripts/tsan.supp
    for t in link_tests modflash_tests; do
        (cd "$build/bin" && QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$supp" \
            "../tests/$t" --gtest_brief=1) || status=1
    done
    return $status
}

steps=("$@")
((${#steps[@]})) || steps=(format tidy tsan)
status=0
for s in "${steps[@]}"; do
    case "$s" in
        format) check_format || status=1 ;;
        tidy) check_tidy || status=1 ;;
        tsan) check_tsan || status=1 ;;
        *) echo "unknown check: $s" >&2; exit 2 ;;
    esac
done
exit $status
