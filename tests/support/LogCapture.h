// Collects every line logged through Qt while it lives, with the categories
// that `rules` names switched on (QT_LOGGING_RULES syntax, one rule a line:
// "nx.config.file.debug=true"). The previous handler and rules come back
// when it ends.
#pragma once

#include <QtGlobal>
#include <string>
#include <vector>

class LogCapture {
  public:
    explicit LogCapture(const char* rules = "");
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The texts logged so far, in order.
    const std::vector<std::string>& Lines() const;

  private:
    QtMessageHandler previous_;
};
