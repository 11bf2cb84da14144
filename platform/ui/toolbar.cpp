#include "platform/ui/toolbar.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

namespace ui {

[[noreturn]] static void OutOfBounds() { throw rt::RuntimeError(35600, "Index out of bounds"); }

// ---- ImageList ----------------------------------------------------------

int ImageList::AddFile(const std::string& path) {
    const QString file = Q(path);
    return Add(QFile::exists(file) ? QIcon(file) : QIcon());
}

int ImageList::Add(const QIcon& icon) {
    images_.push_back(icon);
    return Count();
}

QIcon ImageList::Image(int index) const {
    if (index < 1 || index > Count()) return QIcon();
    return images_[index - 1];
}

// ---- ButtonMenu ---------------------------------------------------------

void ButtonMenu::SetText(const std::string& text) {
    text_ = text;
    action_->setText(Q(text));
}

bool ButtonMenu::Enabled() const { return action_->isEnabled(); }
void ButtonMenu::SetEnabled(bool e) { action_->setEnabled(e); }

// ---- ToolbarButton ------------------------------------------------------

std::string ToolbarButton::Caption() const { return button_ ? S(button_->text()) : ""; }

void ToolbarButton::SetEnabled(bool e) {
    enabled_ = e;
    if (button_) button_->setEnabled(e);
}

std::string ToolbarButton::ToolTipText() const {
    // The button shows its caption as tip when it has none of its own.
    return button_ ? S(button_->property("nxToolTip").toString()) : "";
}

void ToolbarButton::SetToolTipText(const std::string& text) {
    if (!button_) return;
    button_->setProperty("nxToolTip", Q(text));
    button_->setToolTip(text.empty() ? button_->text() : Q(text));
}

void ToolbarButton::SetImage(int index) {
    image_ = index;
    if (button_ && owner_ && owner_->images_) button_->setIcon(owner_->images_->Image(index));
}

ButtonMenu& ToolbarButton::ButtonMenus(int index) {
    if (index < 1 || index > ButtonMenuCount()) OutOfBounds();
    return *menus_[index - 1];
}

void ToolbarButton::PerformClick() {
    if (button_) button_->click();
}

// ---- Toolbar ------------------------------------------------------------

void Toolbar::Create(QToolBar* bar, const ImageList* images) {
    Adopt(bar);
    images_ = images;
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(24, 24));
}

QToolBar* Toolbar::bar() const { return static_cast<QToolBar*>(widget()); }

ToolbarButton& Toolbar::AddButton(const std::string& key, ToolbarButton::Style style, int image) {
    if (style == ToolbarButton::Style::Separator) return AddSeparator();
    auto b = std::make_unique<ToolbarButton>();
    b->index_ = ButtonCount() + 1;
    b->key_ = key;
    b->style_ = style;
    b->owner_ = this;
    auto* tb = new QToolButton(bar());
    tb->setText(Q(key));
    tb->setToolTip(Q(key));
    tb->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tb->setAutoRaise(true);
    if (style == ToolbarButton::Style::Dropdown) {
        b->menu_ = new QMenu(tb);
        tb->setMenu(b->menu_);
        tb->setPopupMode(QToolButton::MenuButtonPopup);
    }
    bar()->addWidget(tb);
    b->button_ = tb;
    ToolbarButton* raw = b.get();
    Track(QObject::connect(tb, &QToolButton::clicked, tb, [this, raw] {
        if (ButtonClick) ButtonClick(*raw);
    }));
    buttons_.push_back(std::move(b));
    raw->SetImage(image);
    return *raw;
}

ToolbarButton& Toolbar::AddSeparator() {
    auto b = std::make_unique<ToolbarButton>();
    b->index_ = ButtonCount() + 1;
    b->style_ = ToolbarButton::Style::Separator;
    b->owner_ = this;
    bar()->addSeparator();
    buttons_.push_back(std::move(b));
    return *buttons_.back();
}

ButtonMenu& Toolbar::AddButtonMenu(ToolbarButton& button, const std::string& text,
                                   const std::string& key) {
    if (!button.menu_) OutOfBounds();
    auto m = std::make_unique<ButtonMenu>();
    m->text_ = text;
    m->key_ = key;
    m->index_ = button.ButtonMenuCount() + 1;
    m->parent_ = &button;
    m->action_ = button.menu_->addAction(Q(text));
    ButtonMenu* raw = m.get();
    Track(QObject::connect(m->action_, &QAction::triggered, m->action_, [this, raw] {
        if (ButtonMenuClick) ButtonMenuClick(*raw);
    }));
    button.menus_.push_back(std::move(m));
    return *raw;
}

ToolbarButton& Toolbar::Buttons(int index) {
    if (index < 1 || index > ButtonCount()) OutOfBounds();
    return *buttons_[index - 1];
}

ToolbarButton& Toolbar::Buttons(const std::string& key) {
    for (auto& b : buttons_)
        if (b->style_ != ToolbarButton::Style::Separator && b->key_ == key) return *b;
    OutOfBounds();
}

// ---- MenuItem -----------------------------------------------------------

MenuItem::~MenuItem() { QObject::disconnect(connection_); }

void MenuItem::Create(QAction* action) {
    action_ = action;
    connection_ = QObject::connect(action_, &QAction::triggered, action_, [this] {
        // Qt flips the mark on its own; the handler alone decides it here.
        action_->setChecked(checked_);
        if (Click) Click();
    });
}

std::string MenuItem::Caption() const { return S(action_->text()); }
void MenuItem::SetCaption(const std::string& caption) { action_->setText(Q(caption)); }
bool MenuItem::Enabled() const { return action_->isEnabled(); }
void MenuItem::SetEnabled(bool e) { action_->setEnabled(e); }

void MenuItem::SetChecked(bool c) {
    checked_ = c;
    // Only an item that can carry a mark shows one; plain items stay plain.
    if (c) action_->setCheckable(true);
    action_->setChecked(c);
}

bool MenuItem::Visible() const { return action_->isVisible(); }
void MenuItem::SetVisible(bool v) { action_->setVisible(v); }
void MenuItem::PerformClick() {
    if (action_->isEnabled()) action_->trigger();
}

}  // namespace ui
