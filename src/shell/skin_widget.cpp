#include "shell/skin_widget.h"

#include <QPainter>
#include <QPropertyAnimation>

#include "shell/skin_button.h"
#include "shell/skin_decor.h"
#include "shell/skin_painter.h"
#include "shell/skin_script.h"
#include "shell/skin_text.h"
#include "shell/skin_wing.h"

SkinWidget::SkinWidget(const SkinModel& model, QWidget* parent)
    : QWidget(parent), model_(model), units_(DialogUnits::TemplateFont(model.fontPointSize)) {
    setObjectName(QStringLiteral("skin"));
    setAccessibleName(QStringLiteral("skin"));
    setFont(DialogUnits::TemplateFont(model.fontPointSize));
    // The skin's size is the smallest the face can be; it grows with the window.
    setMinimumSize(sizeHint());
    resize(sizeHint());
    Build();
}

SkinWidget::~SkinWidget() = default;

QSize SkinWidget::sizeHint() const {
    return {units_.X(model_.size.width()), units_.Y(model_.size.height())};
}

QSize SkinWidget::minimumSizeHint() const { return sizeHint(); }

QSize SkinWidget::Growth() const { return (size() - sizeHint()).expandedTo(QSize(0, 0)); }

QWidget* SkinWidget::HostOf(const SkinElement& element) const {
    if (element.parent.isEmpty()) return const_cast<SkinWidget*>(this);
    return wingHost(element.parent);
}

QRect SkinWidget::PixelRect(const SkinElement& element, const QRect& dlu) const {
    return PixelRect(element, dlu, element.anchors);
}

QRect SkinWidget::StateRect(const SkinElement& element, const QString& state) const {
    const auto it = element.states.constFind(state);
    if (it == element.states.cend() || !it->rect) return PixelRect(element, element.rect);
    return PixelRect(element, *it->rect, it->anchors.value_or(element.anchors));
}

QRect SkinWidget::PixelRect(const SkinElement& element, const QRect& dlu,
                            const SkinAnchors& anchors) const {
    // Converting both corners from face coordinates keeps a control in a wing exactly where
    // the same dialog units would put it on the face. Anchors then move the edges with the
    // window's growth, for wing content as for the face.
    const auto toPixels = [this](const QRect& r) {
        return QRect(
            QPoint(units_.X(r.left()), units_.Y(r.top())),
            QPoint(units_.X(r.left() + r.width()), units_.Y(r.top() + r.height())) - QPoint(1, 1));
    };
    const QSize grow = Growth();
    const QRect px = anchors.Apply(toPixels(dlu), grow);
    if (element.parent.isEmpty()) return px;
    const SkinElement& wing = entries_.value(element.parent).element;
    return px.translated(-wing.anchors.Apply(toPixels(wing.rect), grow).topLeft());
}

void SkinWidget::Build() {
    for (const SkinElement& e : model_.elements) {
        QWidget* host = HostOf(e);
        QWidget* w = nullptr;
        const QRect px = PixelRect(e, e.rect);
        switch (e.kind) {
            case SkinKind::Face: {
                auto* decor = new SkinDecor(e.look, e.label, host);
                decor->setAttribute(Qt::WA_TransparentForMouseEvents, true);
                w = decor;
                break;
            }
            case SkinKind::Button: {
                auto* button = new SkinButton(e, host);
                const QString name = e.name;
                connect(button, &QAbstractButton::clicked, this,
                        [this, name] { OnButtonClicked(name); });
                w = button;
                break;
            }
            case SkinKind::Wing:
                w = new SkinWing(e, px.size(), host);
                break;
            case SkinKind::Text:
                w = new SkinText(e, host);
                break;
            case SkinKind::Slot:
                break;
        }
        if (w) {
            w->setObjectName(e.name);
            w->setAccessibleName(e.name);
            if (!e.label.isEmpty()) w->setAccessibleDescription(e.label);
            if (!e.tooltip.isEmpty()) w->setToolTip(e.tooltip);
            w->setFont(SkinPainter::Font(e.look, font()));
            w->setGeometry(px);
        }
        entries_.insert(e.name, Entry{e, w, QString(), nullptr});
    }
    for (const SkinElement& e : model_.elements) {
        if (!e.initial.isEmpty()) GoTo(e.name, e.initial, false);
    }
}

void SkinWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    SkinPainter::PaintBox(p, rect(), model_.background);
}

void SkinWidget::resizeEvent(QResizeEvent*) { Relayout(); }

void SkinWidget::Relayout() {
    // Wings first: their panels give the coordinates of what they hold.
    for (const SkinElement& e : model_.elements) {
        Entry& entry = entries_[e.name];
        if (!entry.widget) continue;
        if (auto* wing = qobject_cast<SkinWing*>(entry.widget))
            wing->SetOpenSize(PixelRect(e, e.rect).size());
    }
    for (const SkinElement& e : model_.elements) {
        Entry& entry = entries_[e.name];
        if (!entry.widget) continue;
        const QRect target = StateRect(e, entry.state);
        if (entry.animation && entry.animation->state() == QAbstractAnimation::Running) {
            // A wing sliding while the window changes size lands where the new size wants it.
            entry.animation->setEndValue(target);
        } else {
            entry.widget->setGeometry(target);
        }
    }
    for (auto it = hosted_.begin(); it != hosted_.end(); ++it) {
        if (it.value()) it.value()->setGeometry(SlotGeometry(it.key()));
    }
}

void SkinWidget::RunSkinCommand(const QString& command) {
    for (const SkinStatement& s : ParseSkinScript(command)) {
        if (s.kind == SkinStatement::Kind::Stop) {
            StopAnimations();
        } else {
            GoTo(s.element, s.state, true);
        }
    }
}

void SkinWidget::GoTo(const QString& elementName, const QString& stateName, bool animate) {
    auto it = entries_.find(elementName);
    if (it == entries_.end() || !it->widget) return;
    const auto st = it->element.states.find(stateName);
    if (st == it->element.states.end()) return;
    Entry& entry = *it;
    const SkinState& state = *st;
    QWidget* w = entry.widget;
    entry.state = stateName;

    if (state.enabled) w->setEnabled(*state.enabled);
    if (!state.rect) {
        if (state.visible) w->setVisible(*state.visible);
        return;
    }
    const QRect target = StateRect(entry.element, stateName);
    // A frame of no area shows nothing; hiding it also takes its buttons out of the Tab order.
    const bool showAtEnd = state.visible.value_or(!target.isEmpty());
    if (entry.animation) {
        // A new move starts from wherever the last one had got to.
        entry.animation->stop();
        delete entry.animation.data();
    }
    if (!animate || model_.animationMs <= 0 || !isVisible()) {
        w->setGeometry(target);
        w->setVisible(showAtEnd);
        return;
    }
    w->setVisible(true);
    auto* anim = new QPropertyAnimation(w, "geometry", w);
    anim->setDuration(model_.animationMs);
    anim->setEasingCurve(QEasingCurve::OutCubic);
    anim->setStartValue(w->geometry());
    anim->setEndValue(target);
    connect(anim, &QAbstractAnimation::finished, w, [w, showAtEnd] { w->setVisible(showAtEnd); });
    entry.animation = anim;
    anim->start(QAbstractAnimation::DeleteWhenStopped);
}

void SkinWidget::StopAnimations() {
    // "stop" lets every running move arrive at once, so each element is left in the state it
    // was last sent to rather than frozen half-way.
    for (Entry& entry : entries_) {
        if (!entry.animation) continue;
        QVariantAnimation* anim = entry.animation;
        anim->setCurrentTime(anim->totalDuration());
        if (anim->state() != QAbstractAnimation::Stopped) anim->stop();
    }
}

void SkinWidget::OnButtonClicked(const QString& name) {
    const auto it = entries_.constFind(name);
    if (it == entries_.cend() || !it->widget || !it->widget->isEnabled()) return;
    const QString script = it->element.script;
    if (!script.isEmpty()) RunSkinCommand(script);
    emit buttonPressed(name);
}

void SkinWidget::SetSkinElementText(const QString& element, const QString& text) {
    const auto it = entries_.constFind(element);
    if (it == entries_.cend() || !it->widget) return;
    if (auto* t = qobject_cast<SkinText*>(it->widget))
        t->setText(text);
    else if (auto* b = qobject_cast<SkinButton*>(it->widget))
        b->SetLabel(text);
    else if (auto* d = qobject_cast<SkinDecor*>(it->widget))
        d->SetLabel(text);
}

QString SkinWidget::ElementText(const QString& name) const {
    const auto it = entries_.constFind(name);
    if (it == entries_.cend() || !it->widget) return {};
    if (auto* t = qobject_cast<SkinText*>(it->widget)) return t->text();
    if (auto* b = qobject_cast<SkinButton*>(it->widget)) return b->Label();
    if (auto* d = qobject_cast<SkinDecor*>(it->widget)) return d->Label();
    return {};
}

QWidget* SkinWidget::wingHost(const QString& wing) const {
    const auto it = entries_.constFind(wing);
    if (it == entries_.cend()) return nullptr;
    if (auto* w = qobject_cast<SkinWing*>(it->widget)) return w->Panel();
    return nullptr;
}

QRect SkinWidget::SlotGeometry(const QString& slot) const {
    const auto it = entries_.constFind(slot);
    if (it == entries_.cend() || it->element.kind != SkinKind::Slot) return {};
    return PixelRect(it->element, it->element.rect);
}

QWidget* SkinWidget::SlotHost(const QString& slot) const {
    const auto it = entries_.constFind(slot);
    if (it == entries_.cend() || it->element.kind != SkinKind::Slot) return nullptr;
    return HostOf(it->element);
}

bool SkinWidget::PlaceInSlot(QWidget* control, const QString& slot) {
    QWidget* host = SlotHost(slot);
    if (!control || !host) return false;
    // Reparenting hides a widget; a control the window hid on purpose stays hidden.
    const bool keepHidden = control->testAttribute(Qt::WA_WState_ExplicitShowHide) &&
                            control->testAttribute(Qt::WA_WState_Hidden);
    control->setParent(host);
    control->setGeometry(SlotGeometry(slot));
    hosted_.insert(slot, control);
    control->setVisible(!keepHidden);
    return true;
}

QWidget* SkinWidget::Element(const QString& name) const {
    const auto it = entries_.constFind(name);
    return it == entries_.cend() ? nullptr : it->widget;
}

QString SkinWidget::ElementState(const QString& name) const {
    const auto it = entries_.constFind(name);
    return it == entries_.cend() ? QString() : it->state;
}

bool SkinWidget::IsAnimating() const {
    for (const Entry& e : entries_) {
        if (e.animation && e.animation->state() == QAbstractAnimation::Running) return true;
    }
    return false;
}
