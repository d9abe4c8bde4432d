// The skin as the window grows: anchors and palettes in the file, the built-in skins' layout
// at every size, and the readability of their text in the light and the dark variant.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTest>
#include <cmath>
#include <memory>

#include "shell/skin_loader.h"
#include "shell/skin_widget.h"

namespace {

QString S(const char* s) { return QString::fromLatin1(s); }

// --- The file format's anchors and palettes ---

const char* kAnchoredSkin = R"({
  "size": [100, 50],
  "palettes": {"light": {"ink": "#101010", "paper": "#fafafa"},
               "dark": {"ink": "#f0f0f0", "paper": "#202020"}},
  "background": {"fill": "@paper"},
  "elements": [
    {"name": "w", "kind": "wing", "rect": [60, 0, 40, 50], "anchors": {"left": 1, "right": 1},
     "states": {"open": {"rect": [60, 0, 40, 50]},
                "shut": {"rect": [100, 0, 0, 50], "anchors": {"left": 1, "right": 1}}}},
    {"name": "t", "kind": "text", "rect": [0, 0, 60, 10], "label": "x",
     "anchors": {"right": 0.5, "top": 0, "bottom": 0}, "look": {"text": "@ink", "fill": "#808080"}}
  ]
})";

TEST(SkinFormat, AnchorsAndPaletteColoursAreRead) {
    QString error;
    const auto dark = SkinLoader::FromJson(kAnchoredSkin, &error, QStringLiteral("dark"));
    ASSERT_TRUE(dark) << error.toStdString();
    EXPECT_EQ(dark->variant, QStringLiteral("dark"));
    EXPECT_EQ(dark->variants, (QStringList{QStringLiteral("dark"), QStringLiteral("light")}));
    const SkinElement* t = dark->Find(QStringLiteral("t"));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->anchors.right, 0.5);
    EXPECT_EQ(t->anchors.left, 0.0);
    EXPECT_EQ(t->look.textColor.value_or(QColor()), QColor(0xf0, 0xf0, 0xf0));
    EXPECT_EQ(t->look.fill->from, QColor(0x80, 0x80, 0x80));  // a literal colour stays literal
    EXPECT_EQ(dark->background.fill->from, QColor(0x20, 0x20, 0x20));
    const SkinElement* w = dark->Find(QStringLiteral("w"));
    ASSERT_TRUE(w->states.value(QStringLiteral("shut")).anchors.has_value());
    EXPECT_FALSE(w->states.value(QStringLiteral("open")).anchors.has_value());

    const auto light = SkinLoader::FromJson(kAnchoredSkin, &error, QStringLiteral("light"));
    ASSERT_TRUE(light) << error.toStdString();
    EXPECT_EQ(light->Find(QStringLiteral("t"))->look.textColor.value_or(QColor()),
              QColor(0x10, 0x10, 0x10));
    // A variant the file does not have falls back to one it has.
    const auto other = SkinLoader::FromJson(kAnchoredSkin, &error, QStringLiteral("sepia"));
    ASSERT_TRUE(other) << error.toStdString();
    EXPECT_TRUE(other->variants.contains(other->variant));
}

TEST(SkinFormat, MalformedAnchorsAndPalettesAreRefusedNamingThePlace) {
    struct Case {
        const char* json;
        const char* mentions;
    };
    const Case cases[] = {
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1],
             "anchors": "right"}]})",
         "anchors must be an object"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1],
             "anchors": {"middle": 1}}]})",
         "unknown edge \"middle\""},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1],
             "anchors": {"right": 2}}]})",
         "element 0 (\"a\").anchors.right: must be a number from 0 to 1"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1],
             "anchors": {"bottom": "1"}}]})",
         "anchors.bottom"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1],
             "anchors": {"left": 1, "right": 0.5}}]})",
         "left moves more than right"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1],
             "anchors": {"top": 1}}]})",
         "top moves more than bottom"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "wing", "rect": [0,0,1,1],
             "states": {"s": {"rect": [0,0,1,1], "anchors": {"left": -1}}}}]})",
         "states.s.anchors.left"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1],
             "look": {"text": "@ink"}}]})",
         "\"@ink\" is not a colour of the palette"},
        {R"({"size": [10, 10], "palettes": {"light": {"ink": "#000000"}},
             "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1],
             "look": {"fill": "@paper"}}]})",
         "\"@paper\""},
        {R"({"size": [10, 10], "palettes": {"dark": {"ink": "#ffffff", "paper": "#000000"},
             "light": {"ink": "#000000"}}, "elements": []})",
         "palette \"light\": lacks \"paper\""},
        {R"({"size": [10, 10], "palettes": {"dark": {"ink": "#ffffff"},
             "light": {"ink": "#000000", "extra": "#000000"}}, "elements": []})",
         "has \"extra\""},
        {R"({"size": [10, 10], "palettes": {"dark": {"ink": "@paper"}}, "elements": []})",
         "cannot refer to another"},
        {R"({"size": [10, 10], "palettes": {"dark": {"ink": "inky"}}, "elements": []})",
         "\"inky\" is not a colour"},
        {R"({"size": [10, 10], "palettes": [], "elements": []})", "palettes"},
        {R"({"size": [10, 10], "palettes": {"dark": 3}, "elements": []})",
         "palette \"dark\": must be an object"},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(SkinLoader::FromJson(QByteArray(c.json), &error, QStringLiteral("light")))
            << c.json;
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.mentions)))
            << c.json << " -> " << error.toStdString();
    }
}

// --- Readability: text against the fill it is drawn on, by the WCAG formula ---

double Channel(int v) {
    const double c = v / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c) {
    return 0.2126 * Channel(c.red()) + 0.7152 * Channel(c.green()) + 0.0722 * Channel(c.blue());
}

double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Over(const QColor& top, const QColor& below) {
    const double a = top.alphaF();
    return QColor::fromRgbF(float(a * top.redF() + (1 - a) * below.redF()),
                            float(a * top.greenF() + (1 - a) * below.greenF()),
                            float(a * top.blueF() + (1 - a) * below.blueF()));
}

// Both ends of a fill (a gradient passes through nothing darker or lighter than its ends).
QList<QColor> Ends(const std::optional<SkinFill>& fill) {
    if (!fill || !fill->IsSet()) return {};
    if (fill->to.isValid()) return {fill->from, fill->to};
    return {fill->from};
}

QList<QColor> Composite(const QList<QColor>& fills, const QList<QColor>& below) {
    if (fills.isEmpty()) return below;
    QList<QColor> out;
    for (const QColor& f : fills)
        for (const QColor& b : below) out << Over(f, b);
    return out;
}

// What shows behind an element: its wing's panel, or the nearest earlier face part under
// its centre that paints a fill, or the skin's background.
QList<QColor> Backdrop(const SkinModel& model, int index) {
    const SkinElement& e = model.elements[index];
    if (!e.parent.isEmpty()) return Ends(model.Find(e.parent)->look.fill);
    const QPoint centre = e.rect.center();
    for (int j = index - 1; j >= 0; --j) {
        const SkinElement& under = model.elements[j];
        if (!under.parent.isEmpty() || under.kind == SkinKind::Wing ||
            under.kind == SkinKind::Slot || !under.rect.contains(centre))
            continue;
        const QList<QColor> fills = Ends(under.look.fill);
        if (!fills.isEmpty() && fills.first().alpha() > 0)
            return Composite(fills, Backdrop(model, j));
    }
    return Ends(model.background.fill);
}

TEST(SkinContrast, EveryTextIsReadableInBothVariantsOfEveryBuiltInSkin) {
    for (const QString& skinName : SkinLoader::BuiltInSkins()) {
        for (const QString& variant : {QStringLiteral("light"), QStringLiteral("dark")}) {
            QString error;
            const auto model =
                SkinLoader::FromFile(SkinLoader::BuiltInSkinPath(skinName), &error, variant);
            ASSERT_TRUE(model) << error.toStdString();
            ASSERT_EQ(model->variant, variant) << skinName.toStdString();
            int checked = 0;
            for (int i = 0; i < model->elements.size(); ++i) {
                const SkinElement& e = model->elements[i];
                const bool drawsText = e.kind == SkinKind::Button || e.kind == SkinKind::Text ||
                                       !e.label.isEmpty() || e.look.icon;
                if (!drawsText) continue;
                // The looks a user sees: as painted by the button for each of its states.
                QList<std::pair<const char*, SkinLook>> looks{{"normal", e.look}};
                if (e.kind == SkinKind::Button) {
                    const SkinLook hover = e.hover.Over(e.look);
                    looks.append({"hover", hover});
                    looks.append({"pressed", e.pressed.Over(hover)});
                    looks.append({"disabled", e.disabled.Over(e.look)});
                }
                const QList<QColor> behind = Backdrop(*model, i);
                ASSERT_FALSE(behind.isEmpty());
                for (const auto& [state, look] : looks) {
                    // The painter draws text without a colour in black.
                    const QColor text = look.textColor.value_or(QColor(Qt::black));
                    for (const QColor& fill : Composite(Ends(look.fill), behind)) {
                        ++checked;
                        EXPECT_GE(Contrast(text, fill), 4.5)
                            << skinName.toStdString() << " " << variant.toStdString() << " "
                            << e.name.toStdString() << " " << state << ": "
                            << text.name().toStdString() << " on " << fill.name().toStdString();
                    }
                }
            }
            EXPECT_GT(checked, 50) << skinName.toStdString();
        }
    }
}

TEST(SkinContrast, DesktopWindowColourPicksTheVariant) {
    EXPECT_EQ(SkinLoader::VariantForWindowColour(QColor(0x2b, 0x2b, 0x2b)), QStringLiteral("dark"));
    EXPECT_EQ(SkinLoader::VariantForWindowColour(QColor(0xef, 0xef, 0xef)),
              QStringLiteral("light"));
    // The two variants of a built-in skin really differ where it matters: the face.
    QString error;
    const QString path = SkinLoader::DefaultSkinPath();
    const auto light = SkinLoader::FromFile(path, &error, QStringLiteral("light"));
    const auto dark = SkinLoader::FromFile(path, &error, QStringLiteral("dark"));
    ASSERT_TRUE(light && dark) << error.toStdString();
    EXPECT_GT(Luminance(light->background.fill->from), Luminance(dark->background.fill->from));
}

// --- The default skin at any size ---

class GrowingSkin : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        const auto model = SkinLoader::FromFile(SkinLoader::DefaultSkinPath(), &error);
        ASSERT_TRUE(model) << error.toStdString();
        skin = std::make_unique<SkinWidget>(*model);
        for (const char* slot :
             {"chatDisplay", "chatInput", "portal", "userList", "roomTitle", "channelList"}) {
            auto* control = new QWidget;
            control->setObjectName(S(slot));
            ASSERT_TRUE(skin->PlaceInSlot(control, S(slot))) << slot;
            controls.insert(S(slot), control);
        }
        skin->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(skin.get()));
    }

    QRect OnFace(QWidget* w) const { return QRect(w->mapTo(skin.get(), QPoint(0, 0)), w->size()); }
    QRect Slot(const char* name) const { return OnFace(controls.value(S(name))); }
    QWidget* Element(const char* name) const { return skin->Element(S(name)); }

    // The conversation is larger than anything else a user looks at.
    void ExpectConversationLargest() {
        const QRect chat = Slot("chatDisplay");
        const auto area = [](const QRect& r) { return qint64(r.width()) * r.height(); };
        for (auto it = controls.cbegin(); it != controls.cend(); ++it) {
            if (it.key() == QLatin1String("chatDisplay") || !it.value()->isVisibleTo(skin.get()))
                continue;
            EXPECT_GT(area(chat), area(OnFace(it.value())))
                << it.key().toStdString() << " at " << skin->width() << "x" << skin->height();
        }
    }

    void OpenAllWings() {
        skin->RunSkinCommand(
            QStringLiteral("goto channelWing showChannelWing;goto buttonWing showButtonWing;"
                           "goto effectWing showEffectWing;goto mediaWing showMediaWing;stop"));
    }

    std::unique_ptr<SkinWidget> skin;
    QHash<QString, QWidget*> controls;
};

TEST_F(GrowingSkin, OpensAtItsSizeAndCannotBeMadeSmaller) {
    EXPECT_EQ(skin->size(), skin->sizeHint());
    EXPECT_EQ(skin->minimumSize(), skin->sizeHint());
    skin->resize(skin->sizeHint() - QSize(100, 100));
    EXPECT_EQ(skin->size(), skin->sizeHint());
}

TEST_F(GrowingSkin, ConversationAndPeopleTakeTheNewSpaceRowsKeepTheirHeight) {
    const QSize small = skin->size();
    const QRect chat = Slot("chatDisplay");
    const QRect input = Slot("chatInput");
    const QRect title = Slot("roomTitle");
    const QRect people = Slot("userList");
    const QRect send = OnFace(Element("sendButton"));
    ExpectConversationLargest();

    skin->resize(small + QSize(400, 300));
    const QRect chat2 = Slot("chatDisplay");
    EXPECT_GT(chat2.width(), chat.width() + 200);
    EXPECT_GT(chat2.height(), chat.height() + 200);
    EXPECT_GT(Slot("userList").height(), people.height() + 200);
    EXPECT_GE(Slot("userList").width(), people.width());
    ExpectConversationLargest();
    // The input row, the send button and the room title keep their height and their edges.
    EXPECT_EQ(Slot("chatInput").height(), input.height());
    EXPECT_EQ(skin->height() - Slot("chatInput").bottom(), small.height() - input.bottom());
    EXPECT_EQ(Slot("chatInput").top() - chat2.bottom(), input.top() - chat.bottom());
    EXPECT_EQ(OnFace(Element("sendButton")).height(), send.height());
    EXPECT_EQ(OnFace(Element("sendButton")).top(), Slot("chatInput").top());
    EXPECT_EQ(Slot("roomTitle").height(), title.height());
    EXPECT_EQ(Slot("roomTitle").top(), title.top());
    // Nothing spills off the face.
    for (QWidget* w : controls) {
        if (!w->isVisibleTo(skin.get())) continue;
        EXPECT_TRUE(skin->rect().contains(OnFace(w))) << w->objectName().toStdString();
    }
    EXPECT_TRUE(skin->rect().contains(OnFace(Element("sendButton"))));

    // Back to the smallest size: everything where it started.
    skin->resize(small);
    EXPECT_EQ(Slot("chatDisplay"), chat);
    EXPECT_EQ(Slot("chatInput"), input);
    EXPECT_EQ(OnFace(Element("sendButton")), send);
}

TEST_F(GrowingSkin, WingsOpenOverTheSidePanelsNeverOverTheConversationOrTheInput) {
    for (const QString& wing : {QStringLiteral("channelWing"), QStringLiteral("buttonWing"),
                                QStringLiteral("effectWing"), QStringLiteral("mediaWing")}) {
        // Shut, a wing takes no room at all: its button in the rail stands for it.
        EXPECT_FALSE(skin->Element(wing)->isVisible()) << wing.toStdString();
    }
    for (const QSize grow : {QSize(0, 0), QSize(500, 400)}) {
        skin->resize(skin->sizeHint() + grow);
        OpenAllWings();
        const QRect chat = Slot("chatDisplay");
        const QRect input = Slot("chatInput");
        const QRect send = OnFace(Element("sendButton"));
        for (const char* name : {"channelWing", "buttonWing", "effectWing", "mediaWing"}) {
            QWidget* wing = Element(name);
            ASSERT_TRUE(wing->isVisible()) << name;
            const QRect r = OnFace(wing);
            EXPECT_FALSE(r.intersects(chat)) << name << " at +" << grow.width();
            EXPECT_FALSE(r.intersects(input)) << name << " at +" << grow.width();
            EXPECT_FALSE(r.intersects(send)) << name << " at +" << grow.width();
            EXPECT_TRUE(skin->rect().contains(r)) << name;
        }
        // The channel wing covers the people panel and its list sits inside the wing.
        EXPECT_TRUE(OnFace(Element("channelWing")).contains(Slot("channelList")));
        EXPECT_GE(Slot("channelList").width(), Slot("userList").width());
        ExpectConversationLargest();
        skin->RunSkinCommand(
            QStringLiteral("goto channelWing hideChannelWing;goto buttonWing hideButtonWing;"
                           "goto effectWing hideEffectWing;goto mediaWing hideMediaWing;stop"));
        EXPECT_FALSE(Element("channelWing")->isVisible());
    }
}

TEST_F(GrowingSkin, AWingSlidingWhileTheWindowGrowsLandsAtTheNewEdge) {
    skin->RunSkinCommand(QStringLiteral("goto channelWing showChannelWing"));
    ASSERT_TRUE(skin->IsAnimating());
    skin->resize(skin->sizeHint() + QSize(300, 200));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !skin->IsAnimating(); }, 5000));
    const QRect open = OnFace(Element("channelWing"));
    // It ends flush with the people panel it covers, which followed the right edge.
    EXPECT_EQ(open.right(), OnFace(Element("rightCard")).right());
    EXPECT_EQ(open.bottom(), OnFace(Element("rightCard")).bottom());
    EXPECT_EQ(OnFace(skin->wingHost(QStringLiteral("channelWing"))), open);

    // Shut, then grown again: it stays shut against the right edge, taking no room.
    skin->RunSkinCommand(QStringLiteral("goto channelWing hideChannelWing;stop"));
    skin->resize(skin->sizeHint() + QSize(500, 300));
    EXPECT_FALSE(Element("channelWing")->isVisible());
    EXPECT_EQ(Element("channelWing")->width(), 0);
    skin->RunSkinCommand(QStringLiteral("goto channelWing showChannelWing;stop"));
    EXPECT_EQ(OnFace(Element("channelWing")).right(), OnFace(Element("rightCard")).right());
}

}  // namespace
