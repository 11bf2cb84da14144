#include "platform/ui/controls.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionGroupBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVarLengthArray>
#include <algorithm>

namespace ui {

int ToPixels(int twips) {
    return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                      : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

int ToTwips(int pixels) { return pixels * kTwipsPerPixel; }

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

std::string ShownText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

Qt::Alignment QtAlign(Align a) {
    switch (a) {
        case Align::Right:
            return Qt::AlignRight | Qt::AlignVCenter;
        case Align::Center:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        case Align::Left:
        default:
            return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

// ---- Control ------------------------------------------------------------

Control::~Control() {
    for (auto& c : connections_) QObject::disconnect(c);
}

void Control::Adopt(QWidget* w) { widget_ = w; }

void Control::Move(int left, int top, int width, int height) {
    widget_->setGeometry(ToPixels(left), ToPixels(top), ToPixels(width), ToPixels(height));
    Restack();
}

void Control::Move(int left, int top) {
    widget_->move(ToPixels(left), ToPixels(top));
    Restack();
}

int Control::Left() const { return ToTwips(widget_->x()); }
int Control::Top() const { return ToTwips(widget_->y()); }
int Control::Width() const { return ToTwips(widget_->width()); }
int Control::Height() const { return ToTwips(widget_->height()); }
void Control::SetLeft(int twips) {
    widget_->move(ToPixels(twips), widget_->y());
    Restack();
}
void Control::SetTop(int twips) {
    widget_->move(widget_->x(), ToPixels(twips));
    Restack();
}
void Control::SetWidth(int twips) {
    widget_->resize(ToPixels(twips), widget_->height());
    Restack();
}

void Control::SetVisible(bool v) {
    visible_ = v;
    if (IsFrame(widget_)) {
        widget_->setProperty(kFrameShown, v);
        Restack();
    } else {
        widget_->setVisible(v);
    }
}

void Control::SetEnabled(bool e) {
    enabled_ = e;
    widget_->setEnabled(e);
}

std::string Control::ToolTipText() const { return S(widget_->toolTip()); }
void Control::SetToolTipText(const std::string& text) { widget_->setToolTip(Q(text)); }

void Control::ZOrder(int position) {
    if (position == 0)
        widget_->raise();
    else
        widget_->lower();
    Restack();
}

void Control::Restack() {
    if (IsFrame(widget_)) HideCoveredFrames(widget_->parentWidget());
}

bool IsFrame(const QWidget* w) { return w != nullptr && w->property(kFrameTag).toBool(); }

void HideCoveredFrames(QWidget* parent) {
    if (parent == nullptr) return;
    // From the front-most child (Qt keeps them in stacking order, the
    // front-most last) backwards: a frame is shown when its own Visible
    // setting is on and no shown frame in front of it contains it whole.
    QVarLengthArray<QRect, 16> shownInFront;
    const auto& kids = parent->children();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        auto* w = qobject_cast<QWidget*>(*it);
        if (!IsFrame(w) || w->isWindow()) continue;
        const QRect r = w->geometry();
        const bool wanted = w->property(kFrameShown).toBool();
        const bool covered = std::any_of(shownInFront.begin(), shownInFront.end(),
                                         [&](const QRect& front) { return front.contains(r); });
        const bool show = wanted && !covered;
        if (w->isHidden() == show) w->setVisible(show);
        if (show) shownInFront.push_back(r);
    }
}

int Control::ZPosition() const {
    QWidget* parent = widget_->parentWidget();
    if (!parent) return 0;
    // Qt keeps the children in stacking order, the front-most last.
    int pos = 0;
    const auto& kids = parent->children();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        auto* w = qobject_cast<QWidget*>(*it);
        if (!w || w->isWindow()) continue;
        if (w == widget_) return pos;
        ++pos;
    }
    return pos;
}

// ---- Label --------------------------------------------------------------

void Label::Create(QWidget* parent, const std::string& caption) {
    caption_ = caption;
    auto* l = new QLabel(Q(ShownText(caption)), parent);
    l->setTextFormat(Qt::PlainText);
    Adopt(l);
}

QLabel* Label::label() const { return static_cast<QLabel*>(widget()); }
std::string Label::Caption() const { return caption_; }

void Label::SetCaption(const std::string& caption) {
    caption_ = caption;
    label()->setText(Q(ShownText(caption)));
    if (autoSize_) label()->adjustSize();
}

void Label::SetAlignment(Align a) { label()->setAlignment(QtAlign(a)); }

void Label::SetAutoSize(bool on) {
    autoSize_ = on;
    if (on) label()->adjustSize();
}

// ---- TextBox ------------------------------------------------------------

namespace {

// The character code a key press hands to KeyPress, 0 for none.
int KeyAsciiOf(const QKeyEvent& k) {
    if (k.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return 0;
    if (k.key() == Qt::Key_Backspace) return 8;
    if (k.key() == Qt::Key_Return || k.key() == Qt::Key_Enter) return 13;
    const QString t = k.text();
    if (t.size() != 1) return 0;
    const int code = t.at(0).unicode();
    return code >= 32 && code != 127 ? code : 0;
}

}  // namespace

// The text box that holds the focus, as the boxes' own focus events and
// SetFocus track it.
class TextBoxFocus {
  public:
    static TextBox*& Current() {
        static TextBox* current = nullptr;
        return current;
    }
    // Moves the focus to `next`: the box left runs LostFocus, then `next`
    // runs GotFocus. Nothing runs when `next` holds it already.
    static void MoveTo(TextBox* next) {
        TextBox* previous = Current();
        if (previous == next) return;
        Current() = next;
        if (previous && previous->LostFocus) previous->LostFocus();
        if (next && next->GotFocus) next->GotFocus();
    }
    // The focus left `box` for a control that is no text box.
    static void Leave(TextBox* box) {
        // Another box took it through SetFocus: its move ran the handlers.
        if (Current() != nullptr && Current() != box) return;
        Current() = nullptr;
        if (box->LostFocus) box->LostFocus();
    }
};

namespace {

// Focus that moves with the whole window is no focus change of the form.
bool WindowFocusReason(const QEvent* event) {
    const Qt::FocusReason r = static_cast<const QFocusEvent*>(event)->reason();
    return r == Qt::ActiveWindowFocusReason || r == Qt::PopupFocusReason;
}

// Raises a text box's KeyPress and focus events; cut off when the box goes.
class TextBoxEvents : public QObject {
  public:
    TextBoxEvents(TextBox* box, QObject* parent) : QObject(parent), box_(box) {}
    void Detach() { box_ = nullptr; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!box_) return false;
        if (event->type() == QEvent::FocusOut) {
            if (!WindowFocusReason(event)) TextBoxFocus::Leave(box_);
        } else if (event->type() == QEvent::FocusIn) {
            if (!WindowFocusReason(event)) TextBoxFocus::MoveTo(box_);
        } else if (event->type() == QEvent::KeyPress && box_->KeyPress) {
            const int code = KeyAsciiOf(*static_cast<QKeyEvent*>(event));
            if (code == 0) return false;
            int kept = code;
            box_->KeyPress(kept);
            if (kept == 0) return true;  // dropped
            if (kept != code) {          // replaced by another character
                static_cast<QLineEdit*>(watched)->insert(QString(QChar(kept)));
                return true;
            }
        }
        return false;
    }

  private:
    TextBox* box_;
};

}  // namespace

TextBox::~TextBox() {
    if (auto* f = static_cast<TextBoxEvents*>(filter_.data())) f->Detach();
    if (TextBoxFocus::Current() == this) TextBoxFocus::Current() = nullptr;
}

TextBox* TextBox::Focused() { return TextBoxFocus::Current(); }

void TextBox::SetFocus() {
    ShowDeferredText();
    if (!Visible() || !Enabled())
        throw rt::RuntimeError(rt::ErrInvalidProcedureCall, "Invalid procedure call or argument");
    TextBoxFocus::MoveTo(this);
    edit()->setFocus(Qt::OtherFocusReason);
}

int TextBox::SelStart() const {
    return edit()->hasSelectedText() ? edit()->selectionStart() : edit()->cursorPosition();
}

void TextBox::SetSelStart(int start) {
    ShowDeferredText();
    edit()->setCursorPosition(std::clamp(start, 0, static_cast<int>(edit()->text().size())));
}

int TextBox::SelLength() const { return static_cast<int>(edit()->selectedText().size()); }

void TextBox::SetSelLength(int length) {
    ShowDeferredText();
    const int start = SelStart();
    const int size = static_cast<int>(edit()->text().size());
    edit()->setSelection(start, std::clamp(length, 0, size - start));
}

void TextBox::Create(QWidget* parent, const std::string& text) {
    auto* e = new QLineEdit(Q(text), parent);
    Adopt(e);
    Track(QObject::connect(e, &QLineEdit::textChanged, e, [this] {
        if (Change && !showing_) Change();
    }));
    auto* events = new TextBoxEvents(this, e);
    e->installEventFilter(events);
    filter_ = events;
}

QLineEdit* TextBox::edit() const { return static_cast<QLineEdit*>(widget()); }
std::string TextBox::Text() const { return S(deferred_ ? *deferred_ : edit()->text()); }

void TextBox::SetText(const std::string& text) {
    if (!deferredDisplay_ || !edit()->isVisible()) {
        deferred_.reset();
        edit()->setText(Q(text));
        return;
    }
    QString q = Q(text);
    const bool changed = q != (deferred_ ? *deferred_ : edit()->text());
    // The first recorded text asks for the paint that will show it; the
    // ones after it ride on the same request.
    if (!deferred_) edit()->update();
    deferred_ = std::move(q);
    if (changed && Change) Change();
}

namespace {

// Draws a line edit's panel (its frame and background, which do not change
// with its text) from a picture drawn once per size, state and palette by
// the application's style. A status line repaints on every new text, and
// the style's antialiased outline and shadow lines cost more than the
// text itself.
class CachedPanel : public QProxyStyle {
  public:
    void drawPrimitive(PrimitiveElement pe, const QStyleOption* opt, QPainter* p,
                       const QWidget* w) const override {
        const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(opt);
        if (pe != PE_PanelLineEdit || frame == nullptr || opt->rect.isEmpty()) {
            QProxyStyle::drawPrimitive(pe, opt, p, w);
            return;
        }
        const Look look{opt->rect.size(),        opt->state,
                        opt->palette.cacheKey(), p->device()->devicePixelRatio(),
                        frame->lineWidth,        static_cast<int>(frame->features),
                        opt->direction};
        auto it = std::find_if(pictures_.begin(), pictures_.end(),
                               [&](const auto& entry) { return entry.first == look; });
        if (it == pictures_.end()) {
            QPixmap picture(look.size * look.ratio);
            picture.setDevicePixelRatio(look.ratio);
            picture.fill(Qt::transparent);
            QStyleOptionFrame at(*frame);
            at.rect.moveTo(0, 0);
            QPainter painter(&picture);
            QProxyStyle::drawPrimitive(pe, &at, &painter, w);
            painter.end();
            if (pictures_.size() == kPictures) pictures_.pop_back();
            it = pictures_.emplace(pictures_.begin(), look, std::move(picture));
        }
        const QPixmap& picture = it->second;
        p->drawPixmap(opt->rect.topLeft(), picture);
    }

  private:
    // What the panel's picture depends on.
    struct Look {
        QSize size;
        State state;
        qint64 palette;
        qreal ratio;
        int lineWidth;
        int features;
        Qt::LayoutDirection direction;
        bool operator==(const Look&) const = default;
    };
    static constexpr size_t kPictures = 4;  // the latest first
    mutable std::vector<std::pair<Look, QPixmap>> pictures_;
};

}  // namespace

void TextBox::SetDeferredDisplay(bool deferred) {
    deferredDisplay_ = deferred;
    if (deferred) edit()->setStyle(SharedStyle<CachedPanel>());
    if (!deferred) ShowDeferredText();
}

void TextBox::ShowDeferredText() {
    if (!deferred_ || widget() == nullptr) return;
    const QString text = std::move(*deferred_);
    deferred_.reset();
    showing_ = true;  // Change ran when the text was set
    edit()->setText(text);
    showing_ = false;
}
bool TextBox::Locked() const { return edit()->isReadOnly(); }
void TextBox::SetLocked(bool locked) { edit()->setReadOnly(locked); }

// ---- CommandButton ------------------------------------------------------

void CommandButton::Create(QWidget* parent, const std::string& caption) {
    auto* b = new QPushButton(Q(caption), parent);
    b->setAutoDefault(false);
    Adopt(b);
    Track(QObject::connect(b, &QPushButton::clicked, b, [this] {
        if (Click) Click();
    }));
}

std::string CommandButton::Caption() const {
    return S(static_cast<QPushButton*>(widget())->text());
}
void CommandButton::SetCaption(const std::string& caption) {
    static_cast<QPushButton*>(widget())->setText(Q(caption));
}
void CommandButton::PerformClick() { static_cast<QPushButton*>(widget())->click(); }

// ---- CheckBox -------------------------------------------------------------

void CheckBox::Create(QWidget* parent, const std::string& caption) {
    auto* b = new QCheckBox(Q(caption), parent);
    Adopt(b);
    Track(QObject::connect(b, &QCheckBox::clicked, b, [this](bool checked) {
        value_ = checked ? 1 : 0;
        if (Click) Click();
    }));
}

QCheckBox* CheckBox::box() const { return static_cast<QCheckBox*>(widget()); }

void CheckBox::SetValue(int v) {
    if (v != 0 && v != 1) throw rt::RuntimeError(380, "Invalid property value");
    if (v == value_) return;
    value_ = v;
    {
        QSignalBlocker block(box());
        box()->setChecked(v == 1);
    }
    if (Click) Click();
}

std::string CheckBox::Caption() const { return S(box()->text()); }
void CheckBox::PerformClick() { box()->click(); }

// ---- Frame --------------------------------------------------------------

// One-pixel border with rounded corners: straight edges as filled
// rectangles between the corners, each corner as two antialiased
// eighth-circle arcs, the way the toolkit draws the rounded boxes of style
// sheets.
void DrawRoundedBorder(QPainter* p, const QRect& r, const QColor& colour, int radius) {
    const qreal rad = radius;
    const QRectF b(r);
    const qreal left = b.left(), top = b.top(), right = b.left() + b.width(),
                bottom = b.top() + b.height();
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    p->setPen(Qt::NoPen);
    p->setBrush(colour);
    p->drawRect(QRectF(left + rad, bottom - 1, b.width() - 2 * rad, 1));
    p->drawRect(QRectF(right - 1, top + rad, 1, b.height() - 2 * rad));
    p->drawRect(QRectF(left, top + rad, 1, b.height() - 2 * rad));
    p->drawRect(QRectF(left + rad, top, b.width() - 2 * rad, 1));
    QPen pen(colour, 1);
    pen.setCapStyle(Qt::SquareCap);
    p->setPen(pen);
    p->setBrush(Qt::NoBrush);
    const qreal d = 2 * rad - 1;
    auto arc = [&](qreal x, qreal y, int start, int span) {
        p->drawArc(QRectF(x + 0.5, y + 0.5, d, d), start * 16, span * 16);
    };
    arc(left, bottom - 2 * rad, 225, 45);              // bottom edge, left end
    arc(right - 2 * rad, bottom - 2 * rad, 315, -45);  // bottom edge, right end
    arc(right - 2 * rad, top, 45, -45);                // right edge, top end
    arc(right - 2 * rad, bottom - 2 * rad, 315, 45);   // right edge, bottom end
    arc(left, top, 135, 45);                           // left edge, top end
    arc(left, bottom - 2 * rad, 180, 45);              // left edge, bottom end
    arc(left, top, 135, -45);                          // top edge, left end
    arc(right - 2 * rad, top, 45, 45);                 // top edge, right end
    p->restore();
}

namespace {

// Frames drawn the way a window with the framed look wants them: a bordered
// frame has a thin rounded grey border whose top edge runs through the
// middle of the caption line, the caption set into it near the left end; a
// plain frame draws nothing but its background. Everything else is left to
// the application's style. Drawn here rather than by a style sheet, which
// would put every control of the window through the style-sheet machinery.
class FrameLook : public QProxyStyle {
  public:
    static constexpr int kBorderTop = 9;    // border's distance from the top
    static constexpr int kCaptionLeft = 8;  // caption box's distance from the left
    static constexpr int kCaptionPad = 3;   // space either side of the caption
    static constexpr int kRadius = 3;       // of the border's corners

    void drawComplexControl(ComplexControl cc, const QStyleOptionComplex* opt, QPainter* p,
                            const QWidget* w) const override {
        const auto* gb = qstyleoption_cast<const QStyleOptionGroupBox*>(opt);
        if (cc != CC_GroupBox || gb == nullptr) {
            QProxyStyle::drawComplexControl(cc, opt, p, w);
            return;
        }
        if (gb->features & QStyleOptionFrame::Flat) {
            if (!gb->text.isEmpty()) DrawCaption(*gb, p, w);
            return;
        }
        p->save();
        if (!gb->text.isEmpty()) p->setClipRegion(QRegion(gb->rect) - CaptionBox(*gb));
        DrawRoundedBorder(p, BorderRect(gb->rect), QColor(0x9a, 0xa0, 0xa6), kRadius);
        p->restore();
        if (!gb->text.isEmpty()) DrawCaption(*gb, p, w);
    }

    QRect subControlRect(ComplexControl cc, const QStyleOptionComplex* opt, SubControl sc,
                         const QWidget* w) const override {
        const auto* gb = qstyleoption_cast<const QStyleOptionGroupBox*>(opt);
        if (cc != CC_GroupBox || gb == nullptr) return QProxyStyle::subControlRect(cc, opt, sc, w);
        const bool flat = (gb->features & QStyleOptionFrame::Flat) != 0;
        switch (sc) {
            case SC_GroupBoxFrame:
            case SC_GroupBoxContents:
                if (flat) return gb->rect;
                return sc == SC_GroupBoxFrame ? BorderRect(gb->rect)
                                              : BorderRect(gb->rect).adjusted(1, 1, -1, -1);
            case SC_GroupBoxLabel:
                return LabelRect(*gb);
            default:
                return QProxyStyle::subControlRect(cc, opt, sc, w);
        }
    }

  private:
    static QRect BorderRect(const QRect& r) { return r.adjusted(0, kBorderTop, 0, 0); }

    // The caption's box: the caption and a blank, with room either side.
    static QRect CaptionBox(const QStyleOptionGroupBox& gb) {
        return {gb.rect.left() + kCaptionLeft, gb.rect.top(),
                gb.fontMetrics.size(Qt::TextShowMnemonic, gb.text + u' ').width() + 2 * kCaptionPad,
                gb.fontMetrics.height()};
    }

    // The caption itself: its box without the space either side.
    static QRect LabelRect(const QStyleOptionGroupBox& gb) {
        return CaptionBox(gb).adjusted(kCaptionPad, 0, -kCaptionPad, 0);
    }

    void DrawCaption(const QStyleOptionGroupBox& gb, QPainter* p, const QWidget* w) const {
        int align = Qt::AlignCenter | Qt::TextShowMnemonic;
        if (!proxy()->styleHint(SH_UnderlineShortcut, &gb, w)) align |= Qt::TextHideMnemonic;
        QPalette pal = gb.palette;
        if (gb.textColor.isValid()) pal.setColor(QPalette::WindowText, gb.textColor);
        proxy()->drawItemText(p, LabelRect(gb), align, pal, (gb.state & State_Enabled) != 0,
                              gb.text, QPalette::WindowText);
    }
};

// Whether `w` or a widget it lies in asked for the framed look.
bool WantsFramedLook(const QWidget* w) {
    for (; w != nullptr; w = w->parentWidget())
        if (w->property(kFramedLook).toBool()) return true;
    return false;
}

}  // namespace

void SetFramedLook(QWidget* window) { window->setProperty(kFramedLook, true); }

void Frame::Create(QWidget* parent, const std::string& caption, bool border) {
    auto* g = new QGroupBox(Q(caption), parent);
    // Frames are opaque: a frame in front hides whatever lies behind it.
    g->setAutoFillBackground(true);
    g->setProperty(kFrameTag, true);
    g->setProperty(kFrameShown, true);
    g->setFlat(!border);
    // A plain frame is never drawn; a bordered one takes the framed look
    // when its window asked for it, the application's style otherwise.
    if (!border || WantsFramedLook(parent)) g->setStyle(SharedStyle<FrameLook>());
    Adopt(g);
}

QGroupBox* Frame::box() const { return static_cast<QGroupBox*>(widget()); }
std::string Frame::Caption() const { return S(box()->title()); }
void Frame::SetCaption(const std::string& caption) { box()->setTitle(Q(caption)); }

// ---- OptionGroup / OptionButton -------------------------------------------

void OptionGroup::Remove(OptionButton* b) {
    members_.erase(std::remove(members_.begin(), members_.end(), b), members_.end());
}

OptionButton* OptionGroup::Selected() const {
    for (auto* b : members_)
        if (b->Value()) return b;
    return nullptr;
}

OptionButton::~OptionButton() {
    if (group_) group_->Remove(this);
}

void OptionButton::Create(QWidget* parent, OptionGroup* group, Style style,
                          const std::string& caption) {
    QAbstractButton* b;
    if (style == Style::Graphical) {
        auto* t = new QToolButton(parent);
        t->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b = t;
    } else {
        b = new QRadioButton(parent);
    }
    b->setText(Q(caption));
    b->setCheckable(true);
    b->setAutoExclusive(false);
    b->setChecked(false);
    Adopt(b);
    group_ = group;
    if (group_) group_->Add(this);
    // Qt has already flipped the check state when clicked arrives; put the
    // state back under this wrapper's rules before anything else runs.
    Track(QObject::connect(b, &QAbstractButton::clicked, b, [this] {
        Show(value_);
        if (!value_) SetValue(true);
    }));
}

QAbstractButton* OptionButton::button() const { return static_cast<QAbstractButton*>(widget()); }

void OptionButton::Show(bool v) {
    QSignalBlocker block(button());
    button()->setChecked(v);
}

void OptionButton::SetValue(bool v) {
    if (!v) {
        value_ = false;
        Show(false);
        return;
    }
    if (value_) return;
    if (group_) {
        for (auto* other : group_->members_) {
            if (other != this && other->value_) {
                other->value_ = false;
                other->Show(false);
            }
        }
    }
    value_ = true;
    Show(true);
    if (Click) Click();
}

std::string OptionButton::Caption() const { return S(button()->text()); }
void OptionButton::SetCaption(const std::string& caption) { button()->setText(Q(caption)); }

void OptionButton::SetPicture(const QPixmap& picture) {
    hasPicture_ = !picture.isNull();
    button()->setIcon(hasPicture_ ? QIcon(picture) : QIcon());
    if (hasPicture_) button()->setIconSize(picture.size());
}

void OptionButton::PerformClick() { button()->click(); }

// ---- ComboBox -----------------------------------------------------------

void ComboBox::Create(QWidget* parent, Style style) {
    auto* c = new QComboBox(parent);
    style_ = style;
    c->setEditable(style == Style::DropdownCombo);
    c->setInsertPolicy(QComboBox::NoInsert);
    Adopt(c);
    // Every choice of the user raises Click, also one of the item already
    // selected (activated fires for it, currentIndexChanged would not).
    Track(QObject::connect(c, &QComboBox::activated, c, [this](int) {
        if (Click) Click();
    }));
}

QComboBox* ComboBox::combo() const { return static_cast<QComboBox*>(widget()); }

void ComboBox::AddItem(const std::string& text) {
    QSignalBlocker block(combo());
    const bool keepEmpty = combo()->currentIndex() < 0;
    combo()->addItem(Q(text));
    if (keepEmpty) combo()->setCurrentIndex(-1);
}

void ComboBox::Clear() {
    QSignalBlocker block(combo());
    combo()->clear();
    if (style_ == Style::DropdownCombo) combo()->setEditText(QString());
}

int ComboBox::ListCount() const { return combo()->count(); }

std::string ComboBox::List(int index) const {
    if (index < 0 || index >= combo()->count()) return "";
    return S(combo()->itemText(index));
}

int ComboBox::ListIndex() const { return combo()->currentIndex(); }

void ComboBox::SetListIndex(int index) {
    if (index < -1 || index >= combo()->count())
        throw rt::RuntimeError(380, "Invalid property value");
    const int before = combo()->currentIndex();
    {
        QSignalBlocker block(combo());
        combo()->setCurrentIndex(index);
    }
    if (index >= 0 && index != before && Click) Click();
}

std::string ComboBox::Text() const { return S(combo()->currentText()); }

void ComboBox::SetText(const std::string& text) {
    if (style_ == Style::DropdownCombo) {
        QSignalBlocker block(combo());
        combo()->setEditText(Q(text));
        return;
    }
    int found = combo()->findText(Q(text), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found < 0) found = combo()->findText(Q(text), Qt::MatchFixedString);
    if (found < 0) throw rt::RuntimeError(383, "'Text' property is read-only");
    SetListIndex(found);
}

// ---- Timer --------------------------------------------------------------

Timer::Timer() {
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        if (Tick) Tick();
    });
}

void Timer::SetEnabled(bool e) {
    enabled_ = e;
    Apply();
}

void Timer::SetInterval(int ms) {
    interval_ = ms < 0 ? 0 : ms;
    Apply();
}

void Timer::Apply() {
    if (enabled_ && interval_ > 0)
        timer_.start(interval_);
    else
        timer_.stop();
}

// ---- TabStrip -----------------------------------------------------------

void TabStrip::Create(QWidget* parent) {
    auto* t = new QTabWidget(parent);
    Adopt(t);
    Track(QObject::connect(t, &QTabWidget::currentChanged, t, [this](int index) {
        if (index < 0 || index == current_) return;
        const int previous = current_;
        current_ = index;
        if (Click) Click(previous);
    }));
}

QTabWidget* TabStrip::tabs() const { return static_cast<QTabWidget*>(widget()); }

int TabStrip::AddTab(const std::string& caption) {
    auto* page = new QWidget;
    QSignalBlocker block(tabs());
    const int index = tabs()->addTab(page, Q(caption));
    tabs()->setCurrentIndex(current_);
    return index;
}

int TabStrip::Tabs() const { return tabs()->count(); }
std::string TabStrip::TabCaption(int index) const { return S(tabs()->tabText(index)); }
QWidget* TabStrip::Page(int index) const { return tabs()->widget(index); }
int TabStrip::Tab() const { return current_; }

void TabStrip::SetTab(int index) {
    if (index < 0 || index >= tabs()->count())
        throw rt::RuntimeError(380, "Invalid property value");
    tabs()->setCurrentIndex(index);  // raises Click through currentChanged
}

// ---- Mouse pointer and placement -----------------------------------------

static int hourglassDepth = 0;

void SetHourglass(bool on) {
    if (on && hourglassDepth == 0) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        hourglassDepth = 1;
    } else if (!on && hourglassDepth > 0) {
        QApplication::restoreOverrideCursor();
        hourglassDepth = 0;
    }
}

bool HourglassShown() { return hourglassDepth > 0; }

void CentreOnScreen(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->geometry();
    window->move(area.x() + (area.width() - window->width()) / 2,
                 area.y() + (area.height() - window->height()) / 2);
}

}  // namespace ui
