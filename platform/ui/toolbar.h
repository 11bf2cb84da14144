// Toolbar with buttons by index (from 1, separators counted) and by key,
// drop-down buttons with button menus, the image list behind the pictures,
// and menu items whose check mark only their handler changes.
#pragma once

#include <QIcon>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/controls.h"

class QMenu;
class QToolBar;
class QToolButton;

namespace ui {

// Pictures by index from 1, as the toolbar refers to them.
class ImageList {
  public:
    // Adds a picture from a file; a missing file adds an empty picture so
    // that the numbering stays.
    int AddFile(const std::string& path);
    int Add(const QIcon& icon);
    int Count() const { return static_cast<int>(images_.size()); }
    QIcon Image(int index) const;  // empty icon outside 1..Count

  private:
    std::vector<QIcon> images_;
};

class ToolbarButton;

class ButtonMenu {
  public:
    std::string Text() const { return text_; }
    void SetText(const std::string& text);
    std::string Key() const { return key_; }
    bool Enabled() const;
    void SetEnabled(bool e);
    int Index() const { return index_; }
    ToolbarButton& Parent() const { return *parent_; }
    QAction* action() const { return action_; }

  private:
    friend class Toolbar;
    std::string text_, key_;
    int index_ = 0;
    QAction* action_ = nullptr;
    ToolbarButton* parent_ = nullptr;
};

class ToolbarButton {
  public:
    enum class Style { Default, Separator, Dropdown };
    int Index() const { return index_; }
    std::string Key() const { return key_; }
    std::string Caption() const;
    Style ButtonStyle() const { return style_; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool e);
    std::string ToolTipText() const;
    void SetToolTipText(const std::string& text);
    int Image() const { return image_; }
    void SetImage(int index);
    int ButtonMenuCount() const { return static_cast<int>(menus_.size()); }
    ButtonMenu& ButtonMenus(int index);  // 1-based
    // The button's own widget (none for a separator).
    QToolButton* widget() const { return button_; }
    // Clicks the button as the user would (nothing while disabled).
    void PerformClick();

  private:
    friend class Toolbar;
    int index_ = 0;
    std::string key_;
    Style style_ = Style::Default;
    bool enabled_ = true;
    int image_ = 0;
    QToolButton* button_ = nullptr;
    QMenu* menu_ = nullptr;
    class Toolbar* owner_ = nullptr;
    std::vector<std::unique_ptr<ButtonMenu>> menus_;
};

class Toolbar : public Control {
  public:
    void Create(QToolBar* bar, const ImageList* images);
    // Appends a button; a separator takes an index too.
    ToolbarButton& AddButton(const std::string& key,
                             ToolbarButton::Style style = ToolbarButton::Style::Default,
                             int image = 0);
    ToolbarButton& AddSeparator();
    ButtonMenu& AddButtonMenu(ToolbarButton& button, const std::string& text,
                              const std::string& key);
    int ButtonCount() const { return static_cast<int>(buttons_.size()); }
    // By index from 1 or by key; anything else raises "Index out of bounds".
    ToolbarButton& Buttons(int index);
    ToolbarButton& Buttons(const std::string& key);

    std::function<void(ToolbarButton&)> ButtonClick;
    std::function<void(ButtonMenu&)> ButtonMenuClick;

  private:
    friend class ToolbarButton;
    QToolBar* bar() const;
    const ImageList* images_ = nullptr;
    std::vector<std::unique_ptr<ToolbarButton>> buttons_;
};

// A menu item (or a menu's title item). Clicking runs Click; the check mark
// stays as it was unless the handler changes it.
class MenuItem {
  public:
    MenuItem() = default;
    MenuItem(const MenuItem&) = delete;
    MenuItem& operator=(const MenuItem&) = delete;
    ~MenuItem();
    void Create(QAction* action);
    std::string Caption() const;
    void SetCaption(const std::string& caption);
    bool Enabled() const;
    void SetEnabled(bool e);
    bool Checked() const { return checked_; }
    void SetChecked(bool c);
    bool Visible() const;
    void SetVisible(bool v);
    QAction* action() const { return action_; }
    std::function<void()> Click;
    // Chooses the item as the user would (nothing while disabled).
    void PerformClick();

  private:
    QAction* action_ = nullptr;
    QMetaObject::Connection connection_;
    bool checked_ = false;
};

}  // namespace ui
