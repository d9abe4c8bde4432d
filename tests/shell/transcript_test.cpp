// Saving the conversation: the dialog's settings, cancel, overwrite and the folder rule.
#include "shell/transcript.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include "shell/save_file_dialog.h"
#include "shell/shell_texts.h"
#include "support/fakes.h"

namespace {

// Answers the dialog with a scripted path (or a cancel) and records what it was asked.
class ScriptedSaveDialog : public ISaveFileDialog {
public:
    std::optional<QString> AskSaveFileName(QWidget*, const SaveFileRequest& request) override {
        requests.push_back(request);
        return answer;
    }
    std::optional<QString> answer;
    std::vector<SaveFileRequest> requests;
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

struct SaveFixture {
    QTemporaryDir dir;
    QPlainTextEdit display;
    FakeClock clock;
    ScriptedSaveDialog dialog;
    Transcript transcript{display, nullptr, clock, dialog};
};

TEST(Transcript, DialogIsConfiguredAndCancelCountsAsSuccess) {
    SaveFixture f;
    f.display.setPlainText(QStringLiteral("alice: hi"));
    EXPECT_TRUE(f.transcript.SaveTranscript());
    ASSERT_EQ(f.dialog.requests.size(), 1u);
    const SaveFileRequest& r = f.dialog.requests[0];
    EXPECT_EQ(r.title, QStringLiteral("Save Message File"));
    EXPECT_EQ(r.initialName, QStringLiteral("2000-01-18-13h05m.txt"));
    EXPECT_EQ(r.defaultSuffix, QStringLiteral("txt"));
    EXPECT_EQ(r.filter, QStringLiteral("Text Files (*.txt);;All Files (*.*)"));
    EXPECT_TRUE(QDir(f.dir.path()).entryList(QDir::Files).isEmpty());
}

TEST(Transcript, DefaultNameFollowsTheClock) {
    FakeClock clock;
    clock.now = QDateTime(QDate(2024, 12, 3), QTime(7, 9, 59));
    EXPECT_EQ(Transcript::DefaultFileName(clock), QStringLiteral("2024-12-03-07h09m.txt"));
    clock.now = QDateTime(QDate(2024, 12, 3), QTime(23, 59, 1));
    EXPECT_EQ(Transcript::DefaultFileName(clock), QStringLiteral("2024-12-03-23h59m.txt"));
    // Two saves in the same minute propose the same name.
    FakeClock later = clock;
    later.now = clock.now.addSecs(30);
    EXPECT_EQ(Transcript::DefaultFileName(later), Transcript::DefaultFileName(clock));
}

TEST(Transcript, WritesTheWholeTextAndOverwriteReplaces) {
    SaveFixture f;
    const QString path = f.dir.filePath(QStringLiteral("chat.txt"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'o'));
    }
    f.display.setPlainText(QStringLiteral("Welcome\nalice: h\u00e9llo\n\nbob:  spaced  "));
    f.dialog.answer = path;
    EXPECT_TRUE(f.transcript.SaveTranscript());
    EXPECT_EQ(ReadAll(path),
              QStringLiteral("Welcome\nalice: h\u00e9llo\n\nbob:  spaced  ").toUtf8());
}

TEST(Transcript, CreatesOneMissingFolderLevelOnly) {
    SaveFixture f;
    f.display.setPlainText(QStringLiteral("line"));
    const QString oneLevel = f.dir.filePath(QStringLiteral("new/chat.txt"));
    f.dialog.answer = oneLevel;
    EXPECT_TRUE(f.transcript.SaveTranscript());
    EXPECT_EQ(ReadAll(oneLevel), QByteArray("line"));

    const QString twoLevels = f.dir.filePath(QStringLiteral("a/b/chat.txt"));
    f.dialog.answer = twoLevels;
    EXPECT_FALSE(f.transcript.SaveTranscript());
    EXPECT_FALSE(QFile::exists(twoLevels));
    EXPECT_FALSE(QDir(f.dir.filePath(QStringLiteral("a/b"))).exists());
}

TEST(Transcript, FailedWriteLeavesTheOldFileWhole) {
    QTemporaryDir dir;
    // A regular file where the folder should be: nothing can be created under it.
    const QString blocker = dir.filePath(QStringLiteral("blocker"));
    {
        QFile b(blocker);
        ASSERT_TRUE(b.open(QIODevice::WriteOnly));
        b.write("keep");
    }
    EXPECT_FALSE(Transcript::WriteText(blocker + QStringLiteral("/chat.txt"), QStringLiteral("x")));
    EXPECT_EQ(ReadAll(blocker), QByteArray("keep"));
    EXPECT_TRUE(Transcript::WriteText(blocker, QStringLiteral("new\ntext")));
    EXPECT_EQ(ReadAll(blocker), QByteArray("new\ntext"));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("blocker")});
}

}  // namespace
