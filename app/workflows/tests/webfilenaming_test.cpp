#include "app/workflows/webfilenaming.h"

#include "tools/testsupport/printers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString Program = QStringLiteral("/opt/quillet/");

TWebFileNameParts Parts(const QString &dirInName, bool internalMode = false) {
    return WebFileNameParts(Program, dirInName, internalMode);
}

void Touch(const QString &path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

struct SourceCase {
    const char *DirInName;
    const char *KindDir;
};

class RelativeSourceNameTest : public testing::TestWithParam<SourceCase> {};

TEST_P(RelativeSourceNameTest, GivesTheKindName) {
    EXPECT_EQ(RelativeSourceName(Program, QString::fromUtf8(GetParam().DirInName)),
              QString::fromUtf8(GetParam().KindDir));
}

INSTANTIATE_TEST_SUITE_P(
    Folders, RelativeSourceNameTest,
    testing::Values(SourceCase{"/opt/quillet/", ""},
                    SourceCase{"/opt/quillet/Station7", "Station7"},
                    SourceCase{"/opt/quillet/a/b", "a/b"},
                    SourceCase{"/srv/web/Station7", "Station7"},
                    SourceCase{"/srv/web/Station7/", ""}, SourceCase{"Station7", "Station7"},
                    SourceCase{"/srv/my web/Station 7", "Station 7"},
                    // The program folder's path further in does not make a folder an inner one.
                    SourceCase{"/home/u/opt/quillet/site", "site"},
                    // Case counts, as in every name comparison of the tree.
                    SourceCase{"/OPT/quillet/site", "site"}));

TEST(WebFileNamePartsTest, BrandTagOnlyInInternalMode) {
    const TWebFileNameParts standard = Parts(QStringLiteral("/srv/Zarn/Web/Station7"));
    EXPECT_EQ(standard.KindWeb, QStringLiteral("_WEB1"));
    EXPECT_EQ(standard.KindDir, QStringLiteral("Station7"));
    EXPECT_EQ(standard.KindType, QString());

    // "Zarn" anywhere in the path costs the kind name its first four characters.
    const TWebFileNameParts outside = Parts(QStringLiteral("/srv/Zarn/Web/Station7"), true);
    EXPECT_EQ(outside.KindDir, QStringLiteral("ion7"));
    EXPECT_EQ(outside.KindType, QStringLiteral("_Z"));

    const TWebFileNameParts inside = Parts(QStringLiteral("/opt/quillet/ZarnStation7"), true);
    EXPECT_EQ(inside.KindDir, QStringLiteral("Station7"));
    EXPECT_EQ(inside.KindType, QStringLiteral("_Z"));

    const TWebFileNameParts shortName = Parts(QStringLiteral("/srv/Zarn/ab"), true);
    EXPECT_EQ(shortName.KindDir, QString());

    const TWebFileNameParts other = Parts(QStringLiteral("/srv/zarn/Station7"), true);
    EXPECT_EQ(other.KindDir, QStringLiteral("Station7"));
    EXPECT_EQ(other.KindType, QStringLiteral("_B"));
}

TEST(WebFileNameTest, RelativeNamesAndFolders) {
    EXPECT_EQ(RelativeWebFileName(Parts(QStringLiteral("/opt/quillet/Station7")), 5),
              QStringLiteral("pmf/Station7/Station7_WEB1_05.pmf"));
    EXPECT_EQ(RelativeWebFileName(Parts(QStringLiteral("/opt/quillet/Station7"), true), 10),
              QStringLiteral("pmf/Station7/_B/Station7_B_WEB1_10.pmf"));
    EXPECT_EQ(RelativeWebFileName(Parts(QStringLiteral("/opt/quillet/ZarnStation7"), true), 1),
              QStringLiteral("pmf/Station7/_Z/Station7_Z_WEB1_01.pmf"));
    // The program folder itself as source: the file lies directly in "pmf".
    EXPECT_EQ(RelativeWebFileName(Parts(Program), 1), QStringLiteral("pmf//_WEB1_01.pmf"));

    EXPECT_EQ(WebFileFolders(Parts(QStringLiteral("/opt/quillet/a/b"))),
              (QStringList{QStringLiteral("pmf"), QStringLiteral("pmf/a/b")}));
    EXPECT_EQ(WebFileFolders(Parts(QStringLiteral("/srv/Station7"), true)),
              (QStringList{QStringLiteral("pmf"), QStringLiteral("pmf/Station7"),
                           QStringLiteral("pmf/Station7/_B")}));
}

TEST(WebFileVersionTest, ReadsTheWholeNumberOrNothing) {
    EXPECT_EQ(WebFileVersion(QStringLiteral("Station7_WEB1_05.pmf")), 5);
    EXPECT_EQ(WebFileVersion(QStringLiteral("Station7_WEB1_7.pmf")), 7);
    EXPECT_EQ(WebFileVersion(QStringLiteral("Station7_WEB1_100.pmf")), 100);
    EXPECT_EQ(WebFileVersion(QStringLiteral("Station7_WEB1_0100.pmf")), 100);
    EXPECT_EQ(WebFileVersion(QStringLiteral("Station7_WEB1_1x.pmf")), -1);
    EXPECT_EQ(WebFileVersion(QStringLiteral("Station7_WEB1_.pmf")), -1);
    EXPECT_EQ(WebFileVersion(QStringLiteral("Station7_WEB1.pmf")), -1);
    EXPECT_EQ(WebFileVersion(QStringLiteral("Station7_WEB1_+5.pmf")), -1);
    EXPECT_EQ(WebFileVersion(QStringLiteral("Station7_WEB1_05.PMF")), -1);
    EXPECT_EQ(WebFileVersion(QStringLiteral("Station7_WEB1_05.pmf.bak")), -1);
    EXPECT_EQ(WebFileVersion(QStringLiteral("Station7_WEB1_99999999999.pmf")), -1);
}

TEST(HighestVersionTest, CountsOnlyTheSameStem) {
    const TWebFileNameParts parts = Parts(QStringLiteral("/srv/Station7"));
    EXPECT_EQ(HighestVersion(parts, {}), 0);
    EXPECT_EQ(HighestVersion(parts, {QStringLiteral("Station7_WEB1_04.pmf"),
                                     QStringLiteral("Station7_WEB1_09.pmf"),
                                     QStringLiteral("Station7_WEB1_1x.pmf"),
                                     QStringLiteral("Station7_WEB1.pmf"),
                                     QStringLiteral("Station70_WEB1_50.pmf"),
                                     QStringLiteral("Station7_B_WEB1_40.pmf"),
                                     QStringLiteral("Station7_WEB1_30.txt")}),
              9);
}

TEST(VersionTest, SuffixesAcrossTheDigitBoundaries) {
    EXPECT_EQ(VersionSuffix(NextVersion(0, true)), QStringLiteral("_00"));
    EXPECT_EQ(VersionSuffix(NextVersion(0, false)), QStringLiteral("_01"));
    EXPECT_EQ(VersionSuffix(NextVersion(9, false)), QStringLiteral("_10"));
    EXPECT_EQ(VersionSuffix(NextVersion(99, false)), QStringLiteral("_100"));
    EXPECT_EQ(VersionSuffix(NextVersion(100, false)), QStringLiteral("_101"));
    EXPECT_EQ(VersionSuffix(NextVersion(100, true)), QStringLiteral("_100"));
}

class OutputTreeTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Dir.isValid()); }
    QString Folder() const { return Dir.path() + QLatin1Char('/'); }
    TWebFileNameParts PartsHere(const QString &inner, bool internalMode = false) const {
        return WebFileNameParts(Folder(), Folder() + inner, internalMode);
    }
    QTemporaryDir Dir;
};

TEST_F(OutputTreeTest, CreatesTheTreeOneLevelAtATime) {
    const TWebFileNameParts parts = PartsHere(QStringLiteral("Station 7"), true);
    EXPECT_EQ(EnsureWebFileFolders(Folder(), WebFileFolders(parts)), QString());
    EXPECT_TRUE(QFileInfo(Folder() + QStringLiteral("pmf/Station 7/_B")).isDir());
    // A second time finds everything in place.
    EXPECT_EQ(EnsureWebFileFolders(Folder(), WebFileFolders(parts)), QString());
}

TEST_F(OutputTreeTest, MissingParentIsNotCreated) {
    const TWebFileNameParts parts = PartsHere(QStringLiteral("a/b"));
    EXPECT_EQ(EnsureWebFileFolders(Folder(), WebFileFolders(parts)),
              QStringLiteral("pmf/a/b directory not exist and succeed not created"));
    EXPECT_TRUE(QFileInfo(Folder() + QStringLiteral("pmf")).isDir());
    EXPECT_FALSE(QFileInfo::exists(Folder() + QStringLiteral("pmf/a")));
}

TEST_F(OutputTreeTest, FileInTheWayOfTheTopFolder) {
    Touch(Folder() + QStringLiteral("pmf"));
    EXPECT_EQ(EnsureWebFileFolders(Folder(), WebFileFolders(PartsHere(QStringLiteral("x")))),
              QStringLiteral("pmf directory not exist and succeed not created"));
}

TEST_F(OutputTreeTest, HighestVersionListsEveryKindOfEntry) {
    const TWebFileNameParts parts = PartsHere(QStringLiteral("Station[7]"));
    ASSERT_EQ(EnsureWebFileFolders(Folder(), WebFileFolders(parts)), QString());
    const QString folder = Folder() + WebFileFolder(parts) + QLatin1Char('/');
    EXPECT_EQ(HighestVersion(Folder(), parts), 0);
    Touch(folder + QStringLiteral("Station[7]_WEB1_99.pmf"));
    EXPECT_EQ(HighestVersion(Folder(), parts), 99);
    EXPECT_EQ(RelativeWebFileName(parts, NextVersion(HighestVersion(Folder(), parts), false)),
              QStringLiteral("pmf/Station[7]/Station[7]_WEB1_100.pmf"));
    Touch(folder + QStringLiteral("Station[7]_WEB1_100.pmf"));
    EXPECT_EQ(HighestVersion(Folder(), parts), 100);
    ASSERT_TRUE(QDir().mkdir(folder + QStringLiteral("Station[7]_WEB1_120.pmf")));
    Touch(folder + QStringLiteral(".Station[7]_WEB1_130.pmf"));
    EXPECT_EQ(HighestVersion(Folder(), parts), 120);
}

TEST_F(OutputTreeTest, DeleteBakFilesKeepsSubfoldersAndOtherFiles) {
    for (const char *name : {"a.bak", "B.BAK", ".hidden.bak", "keep.txt", "bak"})
        Touch(Folder() + QString::fromUtf8(name));
    ASSERT_TRUE(QDir().mkdir(Folder() + QStringLiteral("sub")));
    Touch(Folder() + QStringLiteral("sub/c.bak"));

    EXPECT_EQ(DeleteBakFiles(Folder().chopped(1)), 3);
    EXPECT_EQ(
        QDir(Folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        (QStringList{QStringLiteral("bak"), QStringLiteral("keep.txt"), QStringLiteral("sub")}));
    EXPECT_TRUE(QFileInfo::exists(Folder() + QStringLiteral("sub/c.bak")));
}

TEST_F(OutputTreeTest, EmptySourceTextDeletesNothing) {
    Touch(Folder() + QStringLiteral("a.bak"));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Folder()));
    EXPECT_EQ(DeleteBakFiles(QString()), 0);
    QDir::setCurrent(before);
    EXPECT_TRUE(QFileInfo::exists(Folder() + QStringLiteral("a.bak")));
}

} // namespace
