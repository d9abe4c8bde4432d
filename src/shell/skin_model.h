#pragma once

#include <QColor>
#include <QHash>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

// A skin as its file describes it. Geometry is in dialog units of the window's template font;
// corner radii, border widths and font sizes are in pixels and points. Nothing here knows
// widgets, so the file format can be checked without a screen.

// A fill: one colour, or a linear gradient from `from` (top or left) to `to`.
struct SkinFill {
    QColor from;
    QColor to;  // invalid: solid `from`
    bool horizontal = false;
    bool IsSet() const { return from.isValid(); }
};

// How one element (or one state of a button: hover, pressed, disabled, focus) looks.
// Unset members fall back to the element's normal look, then to the style, then to nothing.
struct SkinLook {
    std::optional<SkinFill> fill;
    std::optional<QColor> border;
    std::optional<qreal> borderWidth;
    std::optional<qreal> radius;
    std::optional<QColor> textColor;
    std::optional<qreal> fontSize;  // points
    std::optional<bool> bold;
    std::optional<QString> align;  // "left", "center", "right"
    std::optional<QString> icon;   // resource path of an SVG
    std::optional<int> iconSize;   // pixels

    // Values set here win over `base`.
    SkinLook Over(const SkinLook& base) const;
};

// How an element follows the window when it is larger than the skin's size: each edge moves
// by this share (0 to 1) of the window's growth in its direction. All zero keeps the element
// where the file puts it; left 0 and right 1 stretch it with the window's width; left 1 and
// right 1 keep its width and follow the right edge. The same shares move its states' rects.
struct SkinAnchors {
    qreal left = 0;
    qreal top = 0;
    qreal right = 0;
    qreal bottom = 0;
    // `rect` (pixels, laid out for the skin's size) for a window grown by `grow` pixels.
    QRect Apply(const QRect& rect, const QSize& grow) const;
};

// A named state an element can be sent to with "goto ELEMENT STATE".
struct SkinState {
    std::optional<QRect> rect;  // dialog units; animated
    // How `rect` follows the window; the element's own anchors when unset (a wing that
    // closes to an edge keeps to that edge while its open rect stretches).
    std::optional<SkinAnchors> anchors;
    std::optional<bool> enabled;
    std::optional<bool> visible;
};

enum class SkinKind { Face, Button, Wing, Text, Slot };

struct SkinElement {
    QString name;
    SkinKind kind = SkinKind::Face;
    QRect rect;      // dialog units, face coordinates (for wing content: with the wing open)
    QString parent;  // a wing's name, or empty for the face
    QString label;   // shown text (buttons, text, face)
    QString tooltip;
    QString anchor;  // wings: the edge the content is pinned to while sliding
    SkinAnchors anchors;
    QString initial;  // the state applied when the skin is built
    QString script;   // buttons: run by the skin itself when pressed, before the event
    SkinLook look;
    SkinLook hover;
    SkinLook pressed;
    SkinLook disabled;
    SkinLook focus;
    QHash<QString, SkinState> states;
};

struct SkinModel {
    QString name;
    QString variant;       // the palette the colours were taken from; empty without palettes
    QStringList variants;  // every palette the file offers
    QSize size;            // dialog units
    int fontPointSize = 8;
    int animationMs = 250;
    SkinLook background;
    QList<SkinElement> elements;  // in painting order, parents before children

    const SkinElement* Find(const QString& name) const;
};

QString SkinKindName(SkinKind kind);
