// What the module pages need of the window that hosts them: the node
// index of its node combo, the status line and event log, the model shown
// on each slot button, and the channel count of the page filled last. The
// main window implements it; the pages never reach the window otherwise.
#pragma once

#include <cstdint>
#include <string>

// The slot whose page is shown (0..7); written by the slot click only, read
// by every page handler.
extern int16_t SelSlot;

namespace pages {

class PageHost {
  public:
    virtual ~PageHost() = default;

    // The node index: the whole number of the node combo's text (only 0
    // reaches a record; any other raises "Subscript out of range" where it
    // is used).
    virtual int16_t SelectedNode() = 0;
    // The status line gets `text` and the event log a row with it.
    virtual void ReportStatus(const std::string& text) = 0;
    // The status line alone.
    virtual void SetStatusText(const std::string& text) = 0;
    // The model the rack shows on a slot button ("" for an empty slot).
    virtual std::string SlotModel(int slot) = 0;

    // The channel count of the module whose page was filled last; the pulse
    // pages' mode handlers use it as their loop bound.
    int16_t PageChannelCount = 0;
};

}  // namespace pages
