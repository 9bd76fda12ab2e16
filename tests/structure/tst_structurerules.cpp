#include "structure/DepartmentName.h"
#include "structure/StorableText.h"

#include <QtTest>

using DepartmentName::Problem;

Q_DECLARE_METATYPE(DepartmentName::Problem)

class tst_StructureRules : public QObject {
    Q_OBJECT
private slots:
    void departmentName_data();
    void departmentName();
    void keepStorable_data();
    void keepStorable();
};

void tst_StructureRules::departmentName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<Problem>("problem");
    QTest::addColumn<QStringList>("refused");

    const QStringList none;
    QTest::newRow("one blank") << QStringLiteral(" ") << Problem::None << none;
    QTest::newRow("three dots") << QStringLiteral("...") << Problem::None << none;
    QTest::newRow("dot and blank") << QStringLiteral(". ") << Problem::None << none;
    QTest::newRow("punctuation") << QStringLiteral("Caf\u00E9 & Bar's \"best\", 50% off: *new*?") << Problem::None
                                 << none;
    QTest::newRow("euro and pound") << QStringLiteral("\u20AC and \u00A3 deals") << Problem::None << none;
    QTest::newRow("the shop's own file") << QStringLiteral("Departments.NIF") << Problem::ShopFile
                                         << QStringList{QStringLiteral("\"Departments.NIF\"")};

    QTest::newRow("tab") << QStringLiteral("Home\tGarden") << Problem::FolderCharacters
                         << QStringList{QStringLiteral("a tab")};
    QTest::newRow("bell") << QStringLiteral("Ring\u0007") << Problem::FolderCharacters
                          << QStringList{QStringLiteral("the control character U+0007")};
    QTest::newRow("delete") << QStringLiteral("Del\u007F") << Problem::FolderCharacters
                            << QStringList{QStringLiteral("the control character U+007F")};
    QTest::newRow("C1 control from an undefined byte") << QStringLiteral("Odd\u0081") << Problem::FolderCharacters
                                                       << QStringList{QStringLiteral("the control character U+0081")};
    QTest::newRow("each character once, in order") << QStringLiteral("a/b\\c/d") << Problem::FolderCharacters
                                                   << QStringList{QStringLiteral("\"/\""), QStringLiteral("\"\\\"")};
    QTest::newRow("dot") << QStringLiteral(".") << Problem::DotName << QStringList{QStringLiteral("\".\"")};
    QTest::newRow("dot dot") << QStringLiteral("..") << Problem::DotName << QStringList{QStringLiteral("\"..\"")};
    QTest::newRow("256 bytes as UTF-8") << QString(128, QChar(0xE9)) << Problem::TooLong << none;
    QTest::newRow("255 bytes as UTF-8") << QString(85, QChar(0x20AC)) << Problem::None << none;

    QTest::newRow("snowman") << QStringLiteral("Snow\u2603") << Problem::UnstorableCharacters
                             << QStringList{QStringLiteral("\"\u2603\"")};
    QTest::newRow("emoji shown whole") << QStringLiteral("Smile\U0001F600") << Problem::UnstorableCharacters
                                       << QStringList{QStringLiteral("\"\U0001F600\"")};
    QTest::newRow("folder and unstorable") << QStringLiteral("a/\u2603") << Problem::FolderCharacters
                                           << QStringList{QStringLiteral("\"/\""), QStringLiteral("\"\u2603\"")};
}

// Catches a name that would escape or break the shop's folder, one longer than a server folder name
// may be, or one the department file cannot hold, being let through; and blanks or harmless punctuation being refused.
void tst_StructureRules::departmentName() {
    QFETCH(QString, name);
    QFETCH(Problem, problem);
    QFETCH(QStringList, refused);
    const DepartmentName::Verdict verdict = DepartmentName::check(name);
    QCOMPARE(verdict.problem, problem);
    QCOMPARE(verdict.refused, refused);
}

void tst_StructureRules::keepStorable_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("keptCursor");
    QTest::addColumn<bool>("lineBreaks");
    QTest::addColumn<QStringList>("leftOut");

    QTest::newRow("plain") << QStringLiteral("Heron Brook") << 5 << QStringLiteral("Heron Brook") << 5 << false
                           << QStringList{};
    QTest::newRow("code page signs") << QStringLiteral("\u20AC \u00A3 \u00AC \u00E9") << 0
                                     << QStringLiteral("\u20AC \u00A3 \u00AC \u00E9") << 0 << false << QStringList{};
    QTest::newRow("pasted CR LF") << QStringLiteral("12 High St\r\nTown") << 17 << QStringLiteral("12 High St Town")
                                  << 15 << true << QStringList{};
    QTest::newRow("LF and CR alone") << QStringLiteral("a\nb\rc") << 5 << QStringLiteral("a b c") << 5 << true
                                     << QStringList{};
    QTest::newRow("cursor inside CR LF") << QStringLiteral("a\r\nb") << 2 << QStringLiteral("a b") << 2 << true
                                         << QStringList{};
    QTest::newRow("paragraph separator") << QStringLiteral("a\u2029b") << 0 << QStringLiteral("a b") << 0 << true
                                         << QStringList{};
    QTest::newRow("snowman") << QStringLiteral("Snow\u2603man") << 8 << QStringLiteral("Snowman") << 7 << false
                             << QStringList{QStringLiteral("\u2603")};
    QTest::newRow("emoji left out whole") << QStringLiteral("x\U0001F600y") << 3 << QStringLiteral("xy") << 1 << false
                                          << QStringList{QStringLiteral("\U0001F600")};
    QTest::newRow("each once") << QStringLiteral("\u2603a\u2603\u0100") << 4 << QStringLiteral("a") << 1 << false
                               << QStringList{QStringLiteral("\u2603"), QStringLiteral("\u0100")};
}

// Catches a line break or an unstorable character reaching a settings value, text around them
// being lost, the cursor jumping, and a change made without an explanation.
void tst_StructureRules::keepStorable() {
    QFETCH(QString, typed);
    QFETCH(int, cursor);
    QFETCH(QString, kept);
    QFETCH(int, keptCursor);
    QFETCH(bool, lineBreaks);
    QFETCH(QStringList, leftOut);
    const StorableText::Result result = StorableText::keepStorable(typed, cursor);
    QCOMPARE(result.text, kept);
    QCOMPARE(result.cursor, keptCursor);
    QCOMPARE(result.lineBreaks, lineBreaks);
    QCOMPARE(result.leftOut, leftOut);
    const QString note = StorableText::explanation(result);
    QCOMPARE(note.isEmpty(), kept == typed);
    for (const QString& ch : leftOut)
        QVERIFY(note.contains(ch));
    if (lineBreaks)
        QVERIFY(note.contains(QStringLiteral("line break")));
}

QTEST_GUILESS_MAIN(tst_StructureRules)
#include "tst_structurerules.moc"
