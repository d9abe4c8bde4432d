#include "shell/skin_loader.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace {

constexpr int kMaxCoordinate = 4000;
constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

// Collects the first error; later checks become no-ops so the caller can read straight on.
class Reader {
public:
    bool failed() const { return !error_.isEmpty(); }
    const QString& error() const { return error_; }
    void Fail(const QString& where, const QString& what) {
        if (!failed()) error_ = where + QStringLiteral(": ") + what;
    }

    // The colours of the chosen palette, for "@name" references.
    void UsePalette(QHash<QString, QColor> palette) { palette_ = std::move(palette); }

    std::optional<QColor> Colour(const QJsonValue& v, const QString& where) {
        if (!v.isString()) {
            Fail(where, QStringLiteral("colour must be a string such as \"#3f6fe6\""));
            return std::nullopt;
        }
        if (v.toString().startsWith(QLatin1Char('@'))) {
            const QString ref = v.toString().mid(1);
            const auto it = palette_.constFind(ref);
            if (it == palette_.cend()) {
                Fail(where, QStringLiteral("\"@%1\" is not a colour of the palette").arg(ref));
                return std::nullopt;
            }
            return *it;
        }
        const QColor c = QColor::fromString(v.toString());
        if (!c.isValid()) {
            Fail(where, QStringLiteral("\"%1\" is not a colour").arg(v.toString()));
            return std::nullopt;
        }
        return c;
    }

    std::optional<qreal> Number(const QJsonValue& v, const QString& where, qreal lo, qreal hi) {
        if (!v.isDouble() || v.toDouble() < lo || v.toDouble() > hi) {
            Fail(where, QStringLiteral("must be a number from %1 to %2").arg(lo).arg(hi));
            return std::nullopt;
        }
        return v.toDouble();
    }

    std::optional<QRect> Rect(const QJsonValue& v, const QString& where) {
        const QJsonArray a = v.toArray();
        if (!v.isArray() || a.size() != 4) {
            Fail(where, QStringLiteral("rect must be [x, y, width, height]"));
            return std::nullopt;
        }
        int n[4];
        for (int i = 0; i < 4; ++i) {
            const double d = a[i].toDouble(-1e9);
            if (!a[i].isDouble() || d != int(d) || d < -kMaxCoordinate || d > kMaxCoordinate ||
                (i >= 2 && d < 0)) {
                Fail(where,
                     QStringLiteral("rect must hold four whole numbers, sizes not negative"));
                return std::nullopt;
            }
            n[i] = int(d);
        }
        return QRect(n[0], n[1], n[2], n[3]);
    }

    SkinFill Fill(const QJsonValue& v, const QString& where) {
        SkinFill f;
        if (v.isString()) {
            if (auto c = Colour(v, where)) f.from = *c;
            return f;
        }
        if (!v.isObject()) {
            Fail(where, QStringLiteral("fill must be a colour or {\"from\", \"to\"}"));
            return f;
        }
        const QJsonObject o = v.toObject();
        if (auto c = Colour(o.value(QStringLiteral("from")), where + QStringLiteral(".from")))
            f.from = *c;
        if (auto c = Colour(o.value(QStringLiteral("to")), where + QStringLiteral(".to")))
            f.to = *c;
        f.horizontal = o.value(QStringLiteral("horizontal")).toBool(false);
        return f;
    }

    SkinLook Look(const QJsonValue& v, const QString& where) {
        SkinLook l;
        if (v.isUndefined()) return l;
        if (!v.isObject()) {
            Fail(where, QStringLiteral("look must be an object"));
            return l;
        }
        const QJsonObject o = v.toObject();
        static const QSet<QString> known = {
            QStringLiteral("fill"),    QStringLiteral("border"), QStringLiteral("borderWidth"),
            QStringLiteral("radius"),  QStringLiteral("text"),   QStringLiteral("fontSize"),
            QStringLiteral("bold"),    QStringLiteral("align"),  QStringLiteral("icon"),
            QStringLiteral("iconSize")};
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!known.contains(it.key()))
                Fail(where, QStringLiteral("unknown look property \"%1\"").arg(it.key()));
        }
        const auto at = [&](const char* key) {
            return where + QLatin1Char('.') + QLatin1String(key);
        };
        if (o.contains(QStringLiteral("fill")))
            l.fill = Fill(o[QStringLiteral("fill")], at("fill"));
        if (o.contains(QStringLiteral("border")))
            l.border = Colour(o[QStringLiteral("border")], at("border"));
        if (o.contains(QStringLiteral("borderWidth")))
            l.borderWidth = Number(o[QStringLiteral("borderWidth")], at("borderWidth"), 0, 20);
        if (o.contains(QStringLiteral("radius")))
            l.radius = Number(o[QStringLiteral("radius")], at("radius"), 0, 200);
        if (o.contains(QStringLiteral("text")))
            l.textColor = Colour(o[QStringLiteral("text")], at("text"));
        if (o.contains(QStringLiteral("fontSize")))
            l.fontSize = Number(o[QStringLiteral("fontSize")], at("fontSize"), 4, 72);
        if (o.contains(QStringLiteral("bold"))) l.bold = o[QStringLiteral("bold")].toBool();
        if (o.contains(QStringLiteral("align"))) {
            const QString a = o[QStringLiteral("align")].toString();
            if (a != QLatin1String("left") && a != QLatin1String("center") &&
                a != QLatin1String("right"))
                Fail(at("align"), QStringLiteral("must be \"left\", \"center\" or \"right\""));
            l.align = a;
        }
        if (o.contains(QStringLiteral("icon"))) {
            const QString icon = o[QStringLiteral("icon")].toString();
            // Only artwork built into the program: a skin file must not reach into the disk.
            if (!icon.startsWith(QLatin1String(":/")))
                Fail(at("icon"), QStringLiteral("must be a resource path starting with \":/\""));
            l.icon = icon;
        }
        if (o.contains(QStringLiteral("iconSize"))) {
            if (auto n = Number(o[QStringLiteral("iconSize")], at("iconSize"), 4, 256))
                l.iconSize = int(*n);
        }
        return l;
    }

    QHash<QString, SkinState> States(const QJsonValue& v, const QString& where) {
        QHash<QString, SkinState> states;
        if (v.isUndefined()) return states;
        if (!v.isObject()) {
            Fail(where, QStringLiteral("states must be an object"));
            return states;
        }
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            const QString at = where + QLatin1Char('.') + it.key();
            if (!it.value().isObject()) {
                Fail(at, QStringLiteral("a state must be an object"));
                continue;
            }
            const QJsonObject so = it.value().toObject();
            SkinState s;
            if (so.contains(QStringLiteral("rect"))) s.rect = Rect(so[QStringLiteral("rect")], at);
            if (so.contains(QStringLiteral("enabled")))
                s.enabled = so[QStringLiteral("enabled")].toBool();
            if (so.contains(QStringLiteral("visible")))
                s.visible = so[QStringLiteral("visible")].toBool();
            if (so.contains(QStringLiteral("anchors")))
                s.anchors = Anchors(so[QStringLiteral("anchors")], at + QStringLiteral(".anchors"));
            states.insert(it.key(), s);
        }
        return states;
    }

    SkinAnchors Anchors(const QJsonValue& v, const QString& where) {
        SkinAnchors a;
        if (v.isUndefined()) return a;
        if (!v.isObject()) {
            Fail(where, QStringLiteral("anchors must be an object such as {\"right\": 1}"));
            return a;
        }
        const QJsonObject o = v.toObject();
        const std::pair<const char*, qreal*> edges[] = {
            {"left", &a.left}, {"top", &a.top}, {"right", &a.right}, {"bottom", &a.bottom}};
        for (auto it = o.begin(); it != o.end(); ++it) {
            bool known = false;
            for (const auto& [edge, share] : edges) {
                if (it.key() != QLatin1String(edge)) continue;
                known = true;
                *share = Number(it.value(), where + QLatin1Char('.') + it.key(), 0, 1).value_or(0);
            }
            if (!known)
                Fail(where, QStringLiteral("unknown edge \"%1\": use left, top, right or bottom")
                                .arg(it.key()));
        }
        // A near edge that moves faster than the far one would shrink the element as the
        // window grows, down to nothing.
        if (a.left > a.right)
            Fail(where, QStringLiteral("left moves more than right: the element would shrink"));
        if (a.top > a.bottom)
            Fail(where, QStringLiteral("top moves more than bottom: the element would shrink"));
        return a;
    }

private:
    QString error_;
    QHash<QString, QColor> palette_;
};

std::optional<SkinKind> KindFromName(const QString& s) {
    for (SkinKind k :
         {SkinKind::Face, SkinKind::Button, SkinKind::Wing, SkinKind::Text, SkinKind::Slot}) {
        if (SkinKindName(k) == s) return k;
    }
    return std::nullopt;
}

// A style lends its looks and states to every element that names it.
struct SkinStyle {
    SkinLook look, hover, pressed, disabled, focus;
    QHash<QString, SkinState> states;
};

// Reads "palettes" and hands the chosen one to the reader. Every palette names the same
// colours, so each variant of the skin is complete.
void ReadPalettes(const QJsonValue& v, const QString& wanted, Reader& r, SkinModel& model) {
    if (v.isUndefined()) return;
    if (!v.isObject() || v.toObject().isEmpty()) {
        r.Fail(QStringLiteral("palettes"),
               QStringLiteral("must be an object of named palettes such as \"light\""));
        return;
    }
    const QJsonObject palettes = v.toObject();
    QHash<QString, QHash<QString, QColor>> read;
    QStringList names;
    for (auto it = palettes.begin(); it != palettes.end(); ++it) {
        const QString at = QStringLiteral("palette \"%1\"").arg(it.key());
        if (!it.value().isObject()) {
            r.Fail(at, QStringLiteral("must be an object of colours"));
            return;
        }
        const QJsonObject colours = it.value().toObject();
        QHash<QString, QColor> palette;
        for (auto c = colours.begin(); c != colours.end(); ++c) {
            if (c.value().toString().startsWith(QLatin1Char('@')))
                r.Fail(at + QLatin1Char('.') + c.key(),
                       QStringLiteral("a palette colour cannot refer to another"));
            else if (auto colour = r.Colour(c.value(), at + QLatin1Char('.') + c.key()))
                palette.insert(c.key(), *colour);
        }
        if (!names.isEmpty()) {
            const QHash<QString, QColor>& first = read.value(names.first());
            for (auto c = first.cbegin(); c != first.cend(); ++c) {
                if (!palette.contains(c.key()))
                    r.Fail(at, QStringLiteral("lacks \"%1\", which palette \"%2\" has")
                                   .arg(c.key(), names.first()));
            }
            for (auto c = palette.cbegin(); c != palette.cend(); ++c) {
                if (!first.contains(c.key()))
                    r.Fail(at, QStringLiteral("has \"%1\", which palette \"%2\" lacks")
                                   .arg(c.key(), names.first()));
            }
        }
        names << it.key();
        read.insert(it.key(), palette);
    }
    model.variants = names;
    model.variant = names.contains(wanted) ? wanted : names.first();
    r.UsePalette(read.value(model.variant));
}

}  // namespace

std::optional<SkinModel> SkinLoader::FromJson(const QByteArray& json, QString* error,
                                              const QString& variant) {
    const auto fail = [&](const QString& msg) -> std::optional<SkinModel> {
        if (error) *error = msg;
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("skin file is not valid JSON at offset %1: %2")
                        .arg(parseError.offset)
                        .arg(parseError.errorString()));
    if (!doc.isObject()) return fail(QStringLiteral("skin file must hold one JSON object"));
    const QJsonObject root = doc.object();

    Reader r;
    SkinModel model;
    model.name = root.value(QStringLiteral("name")).toString();
    const QJsonArray size = root.value(QStringLiteral("size")).toArray();
    if (size.size() != 2 || size[0].toInt() <= 0 || size[1].toInt() <= 0 ||
        size[0].toInt() > kMaxCoordinate || size[1].toInt() > kMaxCoordinate)
        return fail(QStringLiteral("size must be [width, height] in dialog units"));
    model.size = QSize(size[0].toInt(), size[1].toInt());
    if (root.contains(QStringLiteral("font")))
        model.fontPointSize =
            int(r.Number(root[QStringLiteral("font")], QStringLiteral("font"), 4, 72).value_or(8));
    if (root.contains(QStringLiteral("animationMs")))
        model.animationMs = int(
            r.Number(root[QStringLiteral("animationMs")], QStringLiteral("animationMs"), 0, 10000)
                .value_or(250));
    ReadPalettes(root.value(QStringLiteral("palettes")), variant, r, model);
    model.background =
        r.Look(root.value(QStringLiteral("background")), QStringLiteral("background"));

    QHash<QString, SkinStyle> styles;
    const QJsonObject styleObj = root.value(QStringLiteral("styles")).toObject();
    for (auto it = styleObj.begin(); it != styleObj.end(); ++it) {
        const QString at = QStringLiteral("style \"%1\"").arg(it.key());
        QJsonObject so = it.value().toObject();
        SkinStyle st;
        st.hover = r.Look(so.take(QStringLiteral("hover")), at + QStringLiteral(".hover"));
        st.pressed = r.Look(so.take(QStringLiteral("pressed")), at + QStringLiteral(".pressed"));
        st.disabled = r.Look(so.take(QStringLiteral("disabled")), at + QStringLiteral(".disabled"));
        st.focus = r.Look(so.take(QStringLiteral("focus")), at + QStringLiteral(".focus"));
        st.states = r.States(so.take(QStringLiteral("states")), at + QStringLiteral(".states"));
        st.look = r.Look(so, at);
        styles.insert(it.key(), st);
    }

    const QJsonValue elementsValue = root.value(QStringLiteral("elements"));
    if (!elementsValue.isArray()) return fail(QStringLiteral("elements must be an array"));
    QSet<QString> names;
    QSet<QString> wings;
    const QJsonArray elements = elementsValue.toArray();
    for (int i = 0; i < elements.size() && !r.failed(); ++i) {
        const QJsonObject eo = elements[i].toObject();
        SkinElement e;
        e.name = eo.value(QStringLiteral("name")).toString();
        const QString at = QStringLiteral("element %1 (\"%2\")").arg(i).arg(e.name);
        if (!elements[i].isObject() || e.name.isEmpty() || e.name.contains(QLatin1Char(' ')) ||
            e.name.contains(QLatin1Char(';'))) {
            r.Fail(at, QStringLiteral("needs a name without blanks or \";\""));
            break;
        }
        if (names.contains(e.name)) {
            r.Fail(at, QStringLiteral("the name is used twice"));
            break;
        }
        const auto kind = KindFromName(eo.value(QStringLiteral("kind")).toString());
        if (!kind) {
            r.Fail(at, QStringLiteral("kind must be face, button, wing, text or slot"));
            break;
        }
        e.kind = *kind;
        e.rect = r.Rect(eo.value(QStringLiteral("rect")), at).value_or(QRect());
        e.parent = eo.value(QStringLiteral("parent")).toString();
        if (!e.parent.isEmpty() && (!wings.contains(e.parent) || e.kind == SkinKind::Wing))
            r.Fail(at,
                   QStringLiteral("parent must be a wing listed before it, and wings have none"));
        e.label = eo.value(QStringLiteral("label")).toString();
        e.tooltip = eo.value(QStringLiteral("tooltip")).toString();
        e.anchor = eo.value(QStringLiteral("anchor")).toString(QStringLiteral("top"));
        static const QSet<QString> anchors = {QStringLiteral("top"), QStringLiteral("bottom"),
                                              QStringLiteral("left"), QStringLiteral("right")};
        if (!anchors.contains(e.anchor))
            r.Fail(at, QStringLiteral("anchor must be top, bottom, left or right"));
        e.script = eo.value(QStringLiteral("script")).toString();
        e.anchors = r.Anchors(eo.value(QStringLiteral("anchors")), at + QStringLiteral(".anchors"));

        SkinStyle style;
        if (eo.contains(QStringLiteral("style"))) {
            const QString s = eo.value(QStringLiteral("style")).toString();
            if (!styles.contains(s)) r.Fail(at, QStringLiteral("unknown style \"%1\"").arg(s));
            style = styles.value(s);
        }
        e.look =
            r.Look(eo.value(QStringLiteral("look")), at + QStringLiteral(".look")).Over(style.look);
        e.hover = r.Look(eo.value(QStringLiteral("hover")), at + QStringLiteral(".hover"))
                      .Over(style.hover);
        e.pressed = r.Look(eo.value(QStringLiteral("pressed")), at + QStringLiteral(".pressed"))
                        .Over(style.pressed);
        e.disabled = r.Look(eo.value(QStringLiteral("disabled")), at + QStringLiteral(".disabled"))
                         .Over(style.disabled);
        e.focus = r.Look(eo.value(QStringLiteral("focus")), at + QStringLiteral(".focus"))
                      .Over(style.focus);
        e.states = style.states;
        const auto own =
            r.States(eo.value(QStringLiteral("states")), at + QStringLiteral(".states"));
        for (auto it = own.begin(); it != own.end(); ++it) e.states.insert(it.key(), it.value());
        e.initial = eo.value(QStringLiteral("initial")).toString();
        if (!e.initial.isEmpty() && !e.states.contains(e.initial))
            r.Fail(at,
                   QStringLiteral("initial state \"%1\" is not one of its states").arg(e.initial));

        names.insert(e.name);
        if (e.kind == SkinKind::Wing) wings.insert(e.name);
        model.elements.push_back(e);
    }
    if (r.failed()) return fail(r.error());
    return model;
}

std::optional<SkinModel> SkinLoader::FromFile(const QString& path, QString* error,
                                              const QString& variant) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read skin file %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    if (file.size() > kMaxFileBytes) {
        if (error) *error = QStringLiteral("skin file %1 is too large").arg(path);
        return std::nullopt;
    }
    return FromJson(file.readAll(), error, variant);
}

QString SkinLoader::DefaultSkinPath() { return QStringLiteral(":/res/skin/default.json"); }

QStringList SkinLoader::BuiltInSkins() {
    return {QStringLiteral("default"), QStringLiteral("classic")};
}

QString SkinLoader::BuiltInSkinPath(const QString& name) {
    const QString known = BuiltInSkins().contains(name) ? name : QStringLiteral("default");
    return QStringLiteral(":/res/skin/%1.json").arg(known);
}

QString SkinLoader::VariantForWindowColour(const QColor& window) {
    return window.lightness() < 128 ? QStringLiteral("dark") : QStringLiteral("light");
}
