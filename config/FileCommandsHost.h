// The main-window steps that the configuration-file commands drive: the
// node selector, the rack picture, the lists, the kind labels, the slot
// selection, the analog-output page frame and the window caption. The main
// window implements it and installs it with SetFileCommandsHost; without a
// host the commands change only the records and the file.
#pragma once

#include <cstdint>
#include <string>

class FileCommandsHost {
  public:
    virtual ~FileCommandsHost() = default;

    // The integer value of the node selector's text (ComboNODE).
    virtual int16_t SelectedNode() = 0;
    // Sets the node selector to its entry 0.
    virtual void SelectFirstNode() = 0;
    // Makes the analog-output page frame visible and brings its value
    // sub-frame to the front.
    virtual void ShowAnalogOutputFrame() = 0;
    // The rack frame's caption (the controller's model name).
    virtual void SetControllerCaption(const std::string& caption) = 0;
    // The slot button (0 to 8) loses its picture and its tool-tip text.
    virtual void ClearSlotButton(int16_t slot) = 0;
    virtual void FillMappingAndSummaryLists(int16_t node) = 0;
    virtual void ShowRackPictures(int16_t node) = 0;
    // Selects the slot button (0 to 7), which runs the slot's click handler
    // and shows its page.
    virtual void SelectSlot(int16_t slot) = 0;
    // SetModuleKindLabel(model, lblIOMName(slot)) for slot 0 to 7.
    virtual void SetModuleKindLabel(int16_t slot, const std::string& model) = 0;
    // Window caption := the start-up caption followed by `mode`
    // ("(Offline Mode)").
    virtual void SetModeCaption(const std::string& mode) = 0;
};

// nullptr (the start-up state) removes the host.
void SetFileCommandsHost(FileCommandsHost* host);
FileCommandsHost* TheFileCommandsHost();
