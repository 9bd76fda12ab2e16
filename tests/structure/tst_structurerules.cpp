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

    const auto row = [](const char* tag, const QString& name, Problem problem, const char* refused = "") {
        QTest::newRow(tag) << name << problem << QString::fromUtf8(refused).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    };
    row("one blank", QStringLiteral(" "), Problem::None);
    row("three dots", QStringLiteral("..."), Problem::None);
    row("dot and blank", QStringLiteral(". "), Problem::None);
    row("punctuation", QStringLiteral("Caf\u00E9 & Bar's \"best\", 50% off: *new*?"), Problem::None);
    row("euro and pound", QStringLiteral("\u20AC and \u00A3 deals"), Problem::None);
    row("the shop's own file", QStringLiteral("Departments.NIF"), Problem::ShopFile, "\"Departments.NIF\"");
    row("tab", QStringLiteral("Home\tGarden"), Problem::FolderCharacters, "a tab");
    row("bell", QStringLiteral("Ring\u0007"), Problem::FolderCharacters, "the control character U+0007");
    row("delete", QStringLiteral("Del\u007F"), Problem::FolderCharacters, "the control character U+007F");
    row("C1 control from an undefined byte", QStringLiteral("Odd\u0081"), Problem::FolderCharacters,
        "the control character U+0081");
    row("each character once, in order", QStringLiteral("a/b\\c/d"), Problem::FolderCharacters, "\"/\"|\"\\\"");
    row("dot", QStringLiteral("."), Problem::DotName, "\".\"");
    row("dot dot", QStringLiteral(".."), Problem::DotName, "\"..\"");
    row("256 bytes as UTF-8", QString(128, QChar(0xE9)), Problem::TooLong);
    row("255 bytes as UTF-8", QString(85, QChar(0x20AC)), Problem::None);
    row("snowman", QStringLiteral("Snow\u2603"), Problem::UnstorableCharacters, "\"\u2603\"");
    row("emoji shown whole", QStringLiteral("Smile\U0001F600"), Problem::UnstorableCharacters, "\"\U0001F600\"");
    row("folder and unstorable", QStringLiteral("a/\u2603"), Problem::FolderCharacters, "\"/\"|\"\u2603\"");
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

    const auto row = [](const char* tag, const char* typed, int cursor, const char* kept, int keptCursor,
                        bool lineBreaks, const char* leftOut = "") {
        QTest::newRow(tag) << QString::fromUtf8(typed) << cursor << QString::fromUtf8(kept) << keptCursor << lineBreaks
                           << QString::fromUtf8(leftOut).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    };
    row("plain", "Heron Brook", 5, "Heron Brook", 5, false);
    row("code page signs", "\u20AC \u00A3 \u00AC \u00E9", 0, "\u20AC \u00A3 \u00AC \u00E9", 0, false);
    row("pasted CR LF", "12 High St\r\nTown", 17, "12 High St Town", 15, true);
    row("LF and CR alone", "a\nb\rc", 5, "a b c", 5, true);
    row("cursor inside CR LF", "a\r\nb", 2, "a b", 2, true);
    row("paragraph separator", "a\u2029b", 0, "a b", 0, true);
    row("snowman", "Snow\u2603man", 8, "Snowman", 7, false, "\u2603");
    row("emoji left out whole", "x\U0001F600y", 3, "xy", 1, false, "\U0001F600");
    row("each once", "\u2603a\u2603\u0100", 4, "a", 1, false, "\u2603|\u0100");
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
