// What every module page shares: which page a slot's module gets, the
// module states that show a page at all, the channel count a page is laid
// out for, the rule that makes the second slot of a duplex pair read-only,
// and the Set and Default buttons' run (question, store, compare, mark for
// Download, report, copy to the duplex partner).
//
// A page's Set stores into a staging copy of the edited record and commits
// it only when every read and conversion of the page succeeded, so a
// failure leaves ConfigSetting and the slot's pending flag as they were.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/NodeConfig.h"
#include "pages/PageHost.h"
#include "platform/ui/controls.h"

namespace pages {

// The page frames a slot click can bring to the front.
enum class PageKind {
    NoModule,       // fmeNoModule
    AnalogOutput,   // fmeCAOConf
    AnalogInput,    // fmeCAIConf
    SensorInput,    // fmeCAISConf
    DigitalOutput,  // fmeDigitalOut
    PulseInput,     // fmePIIOMConf
    PulseOutput,    // fmePOIOMConf
};
inline constexpr size_t kPageKinds = static_cast<size_t>(PageKind::PulseOutput) + 1;

// The table of the module pages: for each kind that has a page, the models
// it serves (compared in this order, kind after kind) and the record's
// channel count its rows are laid out for. The dispatch, the channel count
// and the window's table of frames and pages follow it.
struct PageKindRow {
    PageKind kind;
    std::vector<std::string> models;
    PerSlot<int16_t> NodeConfig::*channels;
};
const std::vector<PageKindRow>& ModulePageKinds();

// The page of a model, compared exactly; NoModule for any model without one.
PageKind DispatchPage(const std::string& model);
// The sensor page's frame caption for its models ("Configuration (TC)",
// "Configuration (AI)" or "Configuration (RTD)").
std::string SensorPageCaption(const std::string& model);
// Only a module in PREOPERATION (16), OPERATION (32) or STOP (64) gets a
// page; every other state shows the empty page.
bool StateShowsPage(int16_t nmtState);
// The channel count a page works with: the count of the page's kind in
// `real` for `slot`, limited to 0..`controls` (the page's control array).
int16_t PageCount(PageKind kind, const NodeConfig& real, int slot, int controls);
// The slot's page is read-only: an odd slot whose pair (slot - 1, slot) is
// marked duplex in `setting`. Slot 0 is always editable.
bool DuplexReadOnly(const NodeConfig& setting, int slot);

// A module page as the slot click drives it.
class ModulePage {
  public:
    virtual ~ModulePage() = default;
    // The page branch of the slot click: sets the host's PageChannelCount,
    // fills the page from ConfigSetting of `slot`, applies the duplex rule
    // and brings the page's frame to the front. False when the page cannot
    // show the module (no channel); then the empty page is shown instead.
    virtual bool Fill(int16_t node, int16_t slot) = 0;
};

// Stores a page's values into one slot of the staging record and notes
// whether any stored value differs from the same field of the read record.
class SlotStore {
  public:
    SlotStore(NodeConfig& staging, const NodeConfig& real, int16_t slot)
        : staging_(staging), real_(real), slot_(slot) {}
    int16_t Slot() const { return slot_; }
    NodeConfig& Staging() { return staging_; }
    const NodeConfig& Real() const { return real_; }

    template <typename T, typename V>
    void Put(PerSlot<T> NodeConfig::*field, V value) {
        Put((staging_.*field)(slot_), (real_.*field)(slot_), value);
    }
    template <typename T, typename V>
    void Put(PerChannel<T> NodeConfig::*field, int channel, V value) {
        Put((staging_.*field)(slot_, channel), (real_.*field)(slot_, channel), value);
    }
    // Any field: `target` in the staging record, `compared` the same field
    // of the read record.
    template <typename T, typename V>
    void Put(T& target, const T& compared, V value) {
        target = static_cast<T>(value);
        if (!(target == compared)) changed_ = true;
    }
    // The value chosen in a list, unless the list shows no choice (a stored
    // code outside its items): then the field keeps what it holds.
    template <typename T>
    void PutChoice(PerSlot<T> NodeConfig::*field, const ui::ComboBox& list) {
        if (list.ListIndex() >= 0) Put(field, list.ListIndex());
    }
    bool Changed() const { return changed_; }

  private:
    NodeConfig& staging_;
    const NodeConfig& real_;
    int16_t slot_;
    bool changed_ = false;
};

// The words of one page's Set and Default buttons.
struct PageWords {
    std::string setQuestion = "Would you want to modify IOM parameters?";
    std::string setWord;  // " Set DO IOM ": between the time and the slot
    std::string setError = " configuration error!";
    std::string defaultQuestion = "Would you want to set IOM parameters to default setting?";
    // When set, the Set error line after the time, built from the slot;
    // otherwise "<setWord><slot><setError>".
    std::function<std::string(int16_t slot)> errorLine = nullptr;
};

// A page's Set: asks, stores the page into a staging copy of slot SelSlot
// with `store`, marks the slot pending when a stored value differs from
// ConfigReal, commits, reports "<time><word><slot> configuration ok!", and
// copies the slot to its duplex partner (an even slot whose odd partner
// holds the same non-empty model, marked duplex). A run-time error in the
// store reports "<time><word><slot><error>" and commits nothing.
void RunSet(PageHost& host, const PageWords& words, const std::function<void(SlotStore&)>& store);

// A page's Default: asks, runs `reset` (controls only; the record is not
// touched). `reset` returns false when it changed nothing, and then no line
// is written; otherwise the status line reports the defaults.
void RunDefault(PageHost& host, const PageWords& words, const std::function<bool()>& reset);

// Asks the Yes/No question of a page button ("Tool Operation").
bool AskToolOperation(const std::string& question);

// CopySlotSetting within ConfigSetting, except that the destination keeps
// its own pending flag when it was set.
void CopyToPartner(int16_t node, int16_t source, int16_t destination);

// Shows a stored code in a list: the item at `code`, or no choice when the
// list has no such item.
void ShowChoice(ui::ComboBox& list, int code);

}  // namespace pages
