#include "shell/skin_script.h"

#include <gtest/gtest.h>

#include "shell/skin_loader.h"

namespace {

using Kind = SkinStatement::Kind;
const SkinStatement kStop{Kind::Stop, {}, {}};
SkinStatement Goto(const char* e, const char* s) {
    return {Kind::Goto, QString::fromLatin1(e), QString::fromLatin1(s)};
}

TEST(SkinScript, SplitsStatementsWithAndWithoutBlankAfterSeparator) {
    EXPECT_EQ(ParseSkinScript(QStringLiteral("stop;goto assignButton EnableButton")),
              (QList<SkinStatement>{kStop, Goto("assignButton", "EnableButton")}));
    EXPECT_EQ(ParseSkinScript(QStringLiteral("stop; goto mediaWing hideMediaWing")),
              (QList<SkinStatement>{kStop, Goto("mediaWing", "hideMediaWing")}));
    EXPECT_EQ(ParseSkinScript(QStringLiteral("goto a b")), (QList<SkinStatement>{Goto("a", "b")}));
    EXPECT_EQ(ParseSkinScript(QStringLiteral("  goto   a \t b ;; stop ;")),
              (QList<SkinStatement>{Goto("a", "b"), kStop}));
}

TEST(SkinScript, DropsMalformedStatementsButKeepsTheRest) {
    EXPECT_TRUE(ParseSkinScript(QString()).isEmpty());
    EXPECT_TRUE(ParseSkinScript(QStringLiteral(";;")).isEmpty());
    EXPECT_TRUE(ParseSkinScript(QStringLiteral("goto onlyElement")).isEmpty());
    EXPECT_TRUE(ParseSkinScript(QStringLiteral("goto a b c")).isEmpty());
    EXPECT_TRUE(ParseSkinScript(QStringLiteral("stop now")).isEmpty());
    // Statement words are the skin's keywords exactly.
    EXPECT_TRUE(ParseSkinScript(QStringLiteral("Stop;GOTO a b")).isEmpty());
    EXPECT_EQ(ParseSkinScript(QStringLiteral("jump a b; goto newButton DisableButton")),
              (QList<SkinStatement>{Goto("newButton", "DisableButton")}));
}

// A small skin that uses every feature of the file format.
const char* kSmallSkin = R"({
  "name": "small", "size": [200, 100], "font": 9, "animationMs": 40,
  "background": {"fill": {"from": "#101010", "to": "#202020"}},
  "styles": {
    "btn": {"fill": "#336699", "radius": 4, "text": "#ffffff",
            "hover": {"fill": "#4477aa"}, "disabled": {"text": "#777777"},
            "states": {"EnableButton": {"enabled": true}, "DisableButton": {"enabled": false}}}
  },
  "elements": [
    {"name": "w", "kind": "wing", "rect": [10, 10, 50, 40], "anchor": "right", "initial": "hide",
     "states": {"show": {"rect": [10, 10, 50, 40]}, "hide": {"rect": [10, 10, 0, 40]}}},
    {"name": "b", "kind": "button", "rect": [12, 12, 20, 10], "parent": "w", "style": "btn",
     "label": "Go", "look": {"fill": "#ff0000", "icon": ":/res/skin/play.svg"}, "script": "goto w hide",
     "states": {"DisableButton": {"enabled": false, "visible": false}}},
    {"name": "t", "kind": "text", "rect": [100, 5, 60, 10], "label": "guest"},
    {"name": "s", "kind": "slot", "rect": [100, 20, 60, 60]}
  ]
})";

TEST(SkinLoader, ReadsEveryPartOfTheFormatAndMergesStyles) {
    QString error;
    const auto model = SkinLoader::FromJson(kSmallSkin, &error);
    ASSERT_TRUE(model) << error.toStdString();
    EXPECT_EQ(model->size, QSize(200, 100));
    EXPECT_EQ(model->fontPointSize, 9);
    EXPECT_EQ(model->animationMs, 40);
    ASSERT_EQ(model->elements.size(), 4);
    const SkinElement* b = model->Find(QStringLiteral("b"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->kind, SkinKind::Button);
    EXPECT_EQ(b->parent, QStringLiteral("w"));
    EXPECT_EQ(b->rect, QRect(12, 12, 20, 10));
    EXPECT_EQ(b->script, QStringLiteral("goto w hide"));
    // The element's own look wins over its style; what it leaves unset comes from the style.
    EXPECT_EQ(b->look.fill->from, QColor(0xff, 0, 0));
    EXPECT_EQ(b->look.radius.value_or(-1), 4);
    EXPECT_EQ(b->look.textColor.value_or(QColor()), QColor(0xff, 0xff, 0xff));
    EXPECT_EQ(b->hover.fill->from, QColor(0x44, 0x77, 0xaa));
    // States: inherited from the style, an own state of the same name replaces it.
    EXPECT_TRUE(b->states.value(QStringLiteral("EnableButton")).enabled.value_or(false));
    EXPECT_FALSE(b->states.value(QStringLiteral("DisableButton")).visible.value_or(true));
    const SkinElement* w = model->Find(QStringLiteral("w"));
    EXPECT_EQ(w->anchor, QStringLiteral("right"));
    EXPECT_EQ(w->states.value(QStringLiteral("hide")).rect, QRect(10, 10, 0, 40));
    EXPECT_TRUE(model->background.fill->to.isValid());
    EXPECT_EQ(model->Find(QStringLiteral("nothing")), nullptr);
}

TEST(SkinLoader, RefusesBrokenFilesWithAMessageNamingThePlace) {
    struct Case {
        const char* json;
        const char* mentions;
    };
    const Case cases[] = {
        {"{", "not valid JSON"},
        {"[1]", "one JSON object"},
        {R"({"elements": []})", "size"},
        {R"({"size": [10, 10]})", "elements"},
        {R"({"size": [10, 10], "elements": [{"kind": "face", "rect": [0,0,1,1]}]})",
         "needs a name"},
        {R"({"size": [10, 10], "elements": [{"name": "a b", "kind": "face", "rect": [0,0,1,1]}]})",
         "a b"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "blob", "rect": [0,0,1,1]}]})",
         "kind"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1]}]})",
         "rect"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,-1,1]}]})",
         "rect"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1]},
                                            {"name": "a", "kind": "face", "rect": [0,0,1,1]}]})",
         "twice"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1]},
             {"name": "b", "kind": "button", "rect": [0,0,1,1], "parent": "a"}]})",
         "parent"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "button", "rect": [0,0,1,1],
             "initial": "Gone"}]})",
         "Gone"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1],
             "look": {"fill": "#zzzzzz"}}]})",
         "#zzzzzz"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1],
             "look": {"icon": "/etc/passwd"}}]})",
         "resource path"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1],
             "look": {"colour": "#ffffff"}}]})",
         "colour"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "face", "rect": [0,0,1,1],
             "style": "missing"}]})",
         "missing"},
        {R"({"size": [10, 10], "elements": [{"name": "a", "kind": "wing", "rect": [0,0,1,1],
             "states": {"s": {"rect": [0, 0, 1, 1.5]}}}]})",
         "whole numbers"},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(SkinLoader::FromJson(QByteArray(c.json), &error)) << c.json;
        EXPECT_TRUE(error.contains(QLatin1String(c.mentions)))
            << c.json << " -> " << error.toStdString();
    }
    QString error;
    EXPECT_FALSE(SkinLoader::FromFile(QStringLiteral("/nonexistent/skin.json"), &error));
    EXPECT_TRUE(error.contains(QLatin1String("/nonexistent/skin.json")));
}

}  // namespace
