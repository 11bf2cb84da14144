// The form and control layer: thin wrappers over Qt widgets that carry the
// property and event names the window code uses (Caption, Value, ListIndex,
// Enabled, Interval, ZOrder, Click...). Geometry is given
// in twips and converted to pixels once, here, at 15 twips per pixel.
//
// Controls are created in two steps (declare as a member, then Create with
// the parent widget) so that a form can hold them as plain members. The Qt
// widgets belong to their Qt parent; a wrapper never deletes its widget, and
// it cuts its signal connections when it goes, so a widget torn down later
// by its parent can no longer call into a wrapper that is gone.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime.h"

class QAbstractButton;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QTabWidget;

namespace ui {

constexpr int kTwipsPerPixel = 15;

// Twips to pixels (nearest pixel) and back.
int ToPixels(int twips);
int ToTwips(int pixels);

// Run-time error of a control array element that does not exist.
constexpr int ErrNoSuchControl = 340;

// Text conversions between the program's strings and Qt's.
QString Q(const std::string& s);
std::string S(const QString& s);
// A text as a control or a box shows it: its CR LF line breaks become
// plain line breaks.
std::string ShownText(const std::string& text);

enum class Align { Left, Right, Center };
// The Qt alignment of a text aligned so, centred vertically.
Qt::Alignment QtAlign(Align a);

// What every control has: position and size in twips, Visible, Enabled,
// tool-tip text and ZOrder. Visible and Enabled are the control's own
// settings, independent of whether its container is shown.
class Control {
  public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control();

    QWidget* widget() const { return widget_; }

    void Move(int left, int top, int width, int height);
    void Move(int left, int top);
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int twips);
    void SetTop(int twips);
    void SetWidth(int twips);

    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool e);
    std::string ToolTipText() const;
    void SetToolTipText(const std::string& text);

    // 0 brings the control in front of its siblings, 1 sends it behind them.
    // Frames stacked on one spot: see HideCoveredFrames.
    void ZOrder(int position = 0);
    // Position among the siblings from the front: 0 is the front-most.
    int ZPosition() const;

  protected:
    void Adopt(QWidget* w);
    void Track(QMetaObject::Connection c) { connections_.push_back(std::move(c)); }

  private:
    // After a frame moved, changed size or place in the stack, or its
    // Visible setting: hides the frames that are now wholly covered.
    void Restack();
    QPointer<QWidget> widget_;
    std::vector<QMetaObject::Connection> connections_;
    bool visible_ = true;
    bool enabled_ = true;
};

// Widget properties of a frame: the tag, and its own Visible setting.
inline constexpr const char* kFrameTag = "nxFrame";
inline constexpr const char* kFrameShown = "nxFrameShown";

// Widget property of a window whose bordered frames take the framed look: a
// thin rounded grey border with the caption set into its top edge.
inline constexpr const char* kFramedLook = "nxFramedLook";

// Asks for the framed look for the bordered frames created from now on in
// `window` and in the windows it owns.
void SetFramedLook(QWidget* window);

// The one instance of a widget style, made on first use and kept for the
// program's life: widgets given a style do not own it.
template <class Style>
Style* SharedStyle() {
    static auto* style = new Style;
    return style;
}

// Draws a one-pixel border of `colour` with rounded corners along the
// inside of `r`, as the frames of the framed look have it.
void DrawRoundedBorder(QPainter* p, const QRect& r, const QColor& colour, int radius);

// Whether `w` is the widget of a Frame.
bool IsFrame(const QWidget* w);

// Frames that lie wholly behind a shown frame in front of them (the module
// pages and the panels stacked on one spot) are hidden, not merely covered:
// frames are opaque, so nothing of them could be seen, and a hidden frame is
// never painted. Otherwise every update of a control on a covered frame (a
// new event-log row on the panel behind the tables) repaints that area with
// everything in front of it. Run by the control layer whenever a frame
// moves, changes size, its place in the stack or its Visible setting;
// Visible() keeps reporting the frame's own setting.
void HideCoveredFrames(QWidget* parent);

// A control array: the controls of one kind on a form, addressed by index
// (txtCDOSafeValue[i]); an index without an element raises run-time error
// 340.
template <typename T>
class ControlArray {
  public:
    T& Load(int index) {
        auto& slot = items_[index];
        if (!slot) slot = std::make_unique<T>();
        return *slot;
    }
    T& operator()(int index) { return Get(index); }
    const T& operator()(int index) const { return Get(index); }
    T& operator[](int index) { return Get(index); }
    bool Exists(int index) const { return items_.count(index) != 0; }
    int Count() const { return static_cast<int>(items_.size()); }
    int LBound() const { return items_.empty() ? 0 : items_.begin()->first; }
    int UBound() const { return items_.empty() ? -1 : items_.rbegin()->first; }

  private:
    T& Get(int index) const {
        auto it = items_.find(index);
        if (it == items_.end())
            throw rt::RuntimeError(ErrNoSuchControl, "Control array element does not exist");
        return *it->second;
    }
    std::map<int, std::unique_ptr<T>> items_;
};

class Label : public Control {
  public:
    void Create(QWidget* parent, const std::string& caption = "");
    std::string Caption() const;
    void SetCaption(const std::string& caption);
    void SetAlignment(Align a);
    // Grows or shrinks the label to its caption.
    void SetAutoSize(bool on);
    bool AutoSize() const { return autoSize_; }

  private:
    QLabel* label() const;
    std::string caption_;  // as set, line breaks included
    bool autoSize_ = false;
};

class TextBox : public Control {
  public:
    ~TextBox() override;
    void Create(QWidget* parent, const std::string& text = "");
    std::string Text() const;
    void SetText(const std::string& text);
    bool Locked() const;
    void SetLocked(bool locked);
    std::function<void()> Change;
    // A typed character before the box takes it: its character code
    // (Backspace 8, Enter 13, printable characters); the handler sets it to
    // 0 to drop the key. Keys with Ctrl or Alt (copy, paste) and keys
    // without a character (arrows, Delete) do not raise it.
    std::function<void(int& keyAscii)> KeyPress;
    // The box has lost the keyboard focus: to another control, or because
    // the program moved the focus with SetFocus. Focus that leaves with the
    // whole window (a message box, another window) raises nothing.
    std::function<void()> LostFocus;
    // The box has received the keyboard focus.
    std::function<void()> GotFocus;

    // Gives the box the focus: the box that had it runs its LostFocus, then
    // this box runs its GotFocus, as when the user moves the focus. A hidden
    // or disabled box cannot take the focus: run-time error 5.
    void SetFocus();
    // The box that holds the focus among all text boxes, or nullptr.
    static TextBox* Focused();
    // Selection: start position and length in characters.
    int SelStart() const;
    void SetSelStart(int start);
    int SelLength() const;
    void SetSelLength(int length);

    // Deferred display, for a status line that a command rewrites once per
    // request: while the box is visible, SetText only records the text
    // (Text() and Change see it at once) and asks for a repaint; the line
    // edit lays it out when ShowDeferredText() runs, just before the window
    // paints. Texts replaced before a paint are never laid out, which costs
    // far more than the request they report. A hidden box takes its text
    // at once.
    void SetDeferredDisplay(bool deferred);
    void ShowDeferredText();

  private:
    QLineEdit* edit() const;
    QPointer<QObject> filter_;
    bool deferredDisplay_ = false;
    std::optional<QString> deferred_;  // recorded, not yet in the line edit
    bool showing_ = false;             // ShowDeferredText() is setting it
};

// A check box: Value 0 (cleared) or 1 (checked). Setting Value from code to
// a different value raises Click, as the user's click does.
class CheckBox : public Control {
  public:
    void Create(QWidget* parent, const std::string& caption = "");
    int Value() const { return value_; }
    void SetValue(int v);
    std::string Caption() const;
    std::function<void()> Click;
    // Clicks the box as the user would (nothing while it is disabled).
    void PerformClick();

  private:
    QCheckBox* box() const;
    int value_ = 0;
};

class CommandButton : public Control {
  public:
    void Create(QWidget* parent, const std::string& caption);
    std::string Caption() const;
    void SetCaption(const std::string& caption);
    std::function<void()> Click;
    // Clicks the button as the user would (nothing while it is disabled).
    void PerformClick();
};

// A frame: a captioned container whose children are placed in twips.
class Frame : public Control {
  public:
    void Create(QWidget* parent, const std::string& caption = "", bool border = true);
    std::string Caption() const;
    void SetCaption(const std::string& caption);
    QWidget* container() const { return widget(); }

  private:
    QGroupBox* box() const;
};

class OptionButton;

// Option buttons of one container: selecting one clears the others. Unlike
// a Qt button group, the group can be left with no button selected.
class OptionGroup {
  public:
    void Add(OptionButton* b) { members_.push_back(b); }
    void Remove(OptionButton* b);
    OptionButton* Selected() const;

  private:
    friend class OptionButton;
    std::vector<OptionButton*> members_;
};

// An option button. Setting Value to true on a button that was not selected
// clears the other buttons of its group and then runs Click, exactly as the
// user's click does; setting it to false runs nothing. Clicking a button
// that is already selected does nothing.
class OptionButton : public Control {
  public:
    enum class Style { Standard, Graphical };
    OptionButton() = default;
    ~OptionButton() override;
    void Create(QWidget* parent, OptionGroup* group, Style style = Style::Standard,
                const std::string& caption = "");
    bool Value() const { return value_; }
    void SetValue(bool v);
    std::string Caption() const;
    void SetCaption(const std::string& caption);
    // The picture of a graphical button; an empty pixmap clears it.
    void SetPicture(const QPixmap& picture);
    bool HasPicture() const { return hasPicture_; }
    std::function<void()> Click;
    // Clicks the button as the user would.
    void PerformClick();

  private:
    void Show(bool v);
    QAbstractButton* button() const;
    OptionGroup* group_ = nullptr;
    bool value_ = false;
    bool hasPicture_ = false;
};

// A combo box. Setting ListIndex or Text from code raises Click when the
// selection changes, as a user's choice does.
class ComboBox : public Control {
  public:
    enum class Style { DropdownCombo, DropdownList };
    void Create(QWidget* parent, Style style = Style::DropdownList);
    void AddItem(const std::string& text);
    void Clear();
    int ListCount() const;
    std::string List(int index) const;
    int ListIndex() const;
    // -1 selects nothing; any other index outside the list raises
    // "Invalid property value" (380).
    void SetListIndex(int index);
    std::string Text() const;
    // A drop-down list selects the item with that text (exact first, then
    // ignoring letter case) or raises 383 when no item has it; an editable
    // combo takes the text as typed.
    void SetText(const std::string& text);
    std::function<void()> Click;

  private:
    QComboBox* combo() const;
    Style style_ = Style::DropdownList;
};

// A timer ticking every Interval milliseconds while Enabled and Interval > 0.
// Setting either property restarts the count.
class Timer {
  public:
    Timer();
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool e);
    int Interval() const { return interval_; }
    void SetInterval(int ms);
    std::function<void()> Tick;
    bool Running() const { return timer_.isActive(); }

  private:
    void Apply();
    QTimer timer_;
    bool enabled_ = true;
    int interval_ = 0;
};

// A tab strip with one page per tab. Setting Tab from code raises Click
// with the previous tab, as the user's choice of a tab does.
class TabStrip : public Control {
  public:
    void Create(QWidget* parent);
    int AddTab(const std::string& caption);
    int Tabs() const;
    std::string TabCaption(int index) const;
    QWidget* Page(int index) const;
    int Tab() const;
    void SetTab(int index);
    std::function<void(int previousTab)> Click;

  private:
    QTabWidget* tabs() const;
    int current_ = 0;
};

// The mouse pointer of the program: the hourglass while a command runs.
void SetHourglass(bool on);
bool HourglassShown();

// Places a top-level window in the middle of the primary screen.
void CentreOnScreen(QWidget* window);

}  // namespace ui
