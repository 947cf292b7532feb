#include "ProgramRunner.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

bool hasLine(const QString &output, const QString &pattern)
{
    return QRegularExpression(pattern, QRegularExpression::MultilineOption).match(output).hasMatch();
}

TEST(ProgramLanguage, FollowsTheSystemLanguageWithEmptySettings)
{
    ProgramRunner runner;
    QProcessEnvironment extra;
    extra.insert("LANGUAGE", "fr_FR:fr");
    const auto result = runner.run(300, extra);
    ASSERT_FALSE(result.crashed) << result.output.toStdString();
    EXPECT_TRUE(hasLine(result.output, R"(Detected system language: "fr_FR"$)")) << result.output.toStdString();
    EXPECT_TRUE(hasLine(result.output, R"(Loaded app translation for: "fr_FR"$)")) << result.output.toStdString();
}

TEST(ProgramLanguage, SavedChoiceLoadsItsCatalogue)
{
    ProgramRunner runner;
    const QString folder = QDir(runner.configDir()).filePath("Veloran Deck");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile store(QDir(folder).filePath("AppSettings.conf"));
    ASSERT_TRUE(store.open(QIODevice::WriteOnly));
    store.write("[General]\nlanguage=ja_JP\n");
    store.close();

    QProcessEnvironment extra;
    extra.insert("LANGUAGE", "fr_FR:fr");
    const auto result = runner.run(300, extra);
    ASSERT_FALSE(result.crashed) << result.output.toStdString();
    EXPECT_TRUE(hasLine(result.output, R"(Loaded app translation for: "ja_JP"$)")) << result.output.toStdString();
    EXPECT_FALSE(result.output.contains(R"(Loaded app translation for: "fr_FR")"));
}

} // namespace
