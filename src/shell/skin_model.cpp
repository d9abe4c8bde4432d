#include "shell/skin_model.h"

namespace {
template <typename T>
std::optional<T> Pick(const std::optional<T>& top, const std::optional<T>& base) {
    return top ? top : base;
}
}  // namespace

SkinLook SkinLook::Over(const SkinLook& base) const {
    SkinLook r;
    r.fill = Pick(fill, base.fill);
    r.border = Pick(border, base.border);
    r.borderWidth = Pick(borderWidth, base.borderWidth);
    r.radius = Pick(radius, base.radius);
    r.textColor = Pick(textColor, base.textColor);
    r.fontSize = Pick(fontSize, base.fontSize);
    r.bold = Pick(bold, base.bold);
    r.align = Pick(align, base.align);
    r.icon = Pick(icon, base.icon);
    r.iconSize = Pick(iconSize, base.iconSize);
    return r;
}

QRect SkinAnchors::Apply(const QRect& rect, const QSize& grow) const {
    const auto shift = [](int extra, qreal share) { return qRound(extra * share); };
    const int x1 = rect.left() + shift(grow.width(), left);
    const int y1 = rect.top() + shift(grow.height(), top);
    const int x2 = rect.left() + rect.width() + shift(grow.width(), right);
    const int y2 = rect.top() + rect.height() + shift(grow.height(), bottom);
    return QRect(x1, y1, qMax(0, x2 - x1), qMax(0, y2 - y1));
}

const SkinElement* SkinModel::Find(const QString& elementName) const {
    for (const SkinElement& e : elements) {
        if (e.name == elementName) return &e;
    }
    return nullptr;
}

QString SkinKindName(SkinKind kind) {
    switch (kind) {
        case SkinKind::Face:
            return QStringLiteral("face");
        case SkinKind::Button:
            return QStringLiteral("button");
        case SkinKind::Wing:
            return QStringLiteral("wing");
        case SkinKind::Text:
            return QStringLiteral("text");
        case SkinKind::Slot:
            return QStringLiteral("slot");
    }
    return {};
}
