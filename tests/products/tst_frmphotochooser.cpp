#include "catalogue/SharedState.h"
#include "products/PictureBox.h"
#include "products/frmPhotoChooser.h"
#include "support/TestSupport.h"
#include "ui/MessageBox.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace TestSupport;

namespace {

// A chooser on a data folder of its own holding the fixture pictures, and a second folder; shown
// window-modal, so that the test works it as the owner would while it is up.
struct Chooser {
    QTemporaryDir dir;
    SharedState state;
    std::unique_ptr<frmPhotoChooser> dialog;
    const QString data = dir.filePath(QStringLiteral("program"));
    const QString other = dir.filePath(QStringLiteral("camera"));

    Chooser() {
        copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), data, QStringLiteral("PICTURE.JPEG"));
        copyFixture(QStringLiteral("LowerCaseJpg.jpg"), data, QStringLiteral("picture.jpg"));
        copyFixture(QStringLiteral("PngPicture.png"), data, QStringLiteral("logo.png"));
        copyFixture(QStringLiteral("NotAPicture.jpeg"), data, QStringLiteral("notes.jpeg"));
        copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), other, QStringLiteral("holiday.jpeg"));
        writeBytes(QDir(data).filePath(QStringLiteral("readme.txt")), "text\r\n");
        state.dataFolder = dataFolderOf(data);
        dialog = std::make_unique<frmPhotoChooser>(state);
        dialog->open();
    }

    template <class T = QPushButton> T* child(const char* name) const {
        return dialog->findChild<T*>(QString::fromLatin1(name));
    }
    QListWidget* files() const { return child<QListWidget>("fillDialog"); }
    bool preview() const { return child<PictureBox>("imgPhoto")->hasPicture(); }
    QStringList listed() const {
        QStringList names;
        for (int i = 0; i < files()->count(); ++i)
            names.append(files()->item(i)->text());
        return names;
    }
    QListWidgetItem* item(const QString& name) const { return files()->findItems(name, Qt::MatchExactly).value(0); }
    void select(const QString& name) const {
        QTest::mouseClick(files()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          files()->visualItemRect(item(name)).center());
    }
};

} // namespace

class tst_frmPhotoChooser : public QObject {
    Q_OBJECT
private slots:
    void init() { MessageBox::reset(); }
    void patterns_data();
    void patterns();
    void remembersFolder();
    void choose_data();
    void choose();
    void drives();
};

void tst_frmPhotoChooser::patterns_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("*.jpeg, whatever the case")
        << 0 << QStringList{QStringLiteral("notes.jpeg"), QStringLiteral("PICTURE.JPEG")};
    QTest::newRow("*.jpg") << 1 << QStringList{QStringLiteral("picture.jpg")};
    QTest::newRow("all pictures") << 2
                                  << QStringList{QStringLiteral("logo.png"), QStringLiteral("notes.jpeg"),
                                                 QStringLiteral("PICTURE.JPEG"), QStringLiteral("picture.jpg")};
}

// Catches an upper-case extension left out, .jpg listed under "*.jpeg", the wrong first
// folder, or a file type that does not filter.
void tst_frmPhotoChooser::patterns() {
    QFETCH(int, type);
    QFETCH(QStringList, listed);
    Chooser chooser;
    auto* types = chooser.child<QComboBox>("cmbFileType");
    QCOMPARE(types->currentText(), QStringLiteral("*.jpeg"));
    QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.data));
    types->setCurrentIndex(type);
    QStringList shown = chooser.listed();
    shown.sort(Qt::CaseInsensitive);
    listed.sort(Qt::CaseInsensitive);
    QCOMPARE(shown, listed);
}

// Catches a folder opened by a single click, or not by a double click or Enter, and a chooser that
// forgets the folder browsed before Cancel, or keeps the old preview.
void tst_frmPhotoChooser::remembersFolder() {
    Chooser chooser;
    auto* tree = chooser.child<QTreeWidget>("dirDialog");
    QVERIFY(tree->currentItem() && tree->currentItem()->parent());
    const QPoint parent = tree->visualItemRect(tree->currentItem()->parent()).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, parent);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, parent);
    QTRY_COMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.dir.path()));
    QTreeWidgetItem* camera = tree->findItems(QStringLiteral("camera"), Qt::MatchExactly | Qt::MatchRecursive).value(0);
    QVERIFY(camera);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(camera).center());
    QCoreApplication::processEvents();
    QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.dir.path()));
    tree->setCurrentItem(camera);
    QTest::keyClick(tree, Qt::Key_Return);
    QTRY_COMPARE(chooser.listed(), QStringList{QStringLiteral("holiday.jpeg")});
    chooser.select(QStringLiteral("holiday.jpeg"));
    QVERIFY(chooser.preview());
    QTest::mouseClick(chooser.child("cmdCancel"), Qt::LeftButton);
    QCOMPARE(chooser.dialog->result(), int(QDialog::Rejected));
    QVERIFY(chooser.dialog->chosenPath().isEmpty());

    chooser.dialog->open();
    QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.other));
    QVERIFY(!chooser.preview());
}

void tst_frmPhotoChooser::choose_data() {
    QTest::addColumn<QStringList>("selected"); // in turn, among all pictures
    QTest::addColumn<bool>("removed");         // the last one deleted before OK
    QTest::addColumn<bool>("doubleClick");     // on the last one, instead of OK
    QTest::addColumn<bool>("preview");         // of the last one
    QTest::addColumn<QString>("chosen");       // empty: OK does nothing
    // The last one selected is neither the first previewed nor the first listed.
    const QStringList two = {QStringLiteral("logo.png"), QStringLiteral("PICTURE.JPEG")};
    const QString last = two.last();
    QTest::newRow("OK: the last selected") << two << false << false << true << last;
    QTest::newRow("double click: the last selected") << two << false << true << true << last;
    QTest::newRow("OK with nothing selected") << QStringList() << false << false << false << QString();
    QTest::newRow("OK on a file gone meanwhile") << two << true << false << true << QString();
    QTest::newRow("OK on a file that is no picture")
        << QStringList{QStringLiteral("notes.jpeg")} << false << false << false << QStringLiteral("notes.jpeg");
}

// Catches OK handing back the first file previewed instead of the last one selected, a double
// click that does not behave as OK, OK with no file or a file gone closing the dialog, and a file
// that is no picture refused on OK although it exists, showing an error box or an old picture.
void tst_frmPhotoChooser::choose() {
    QFETCH(QStringList, selected);
    QFETCH(bool, removed);
    QFETCH(bool, doubleClick);
    QFETCH(bool, preview);
    QFETCH(QString, chosen);
    Chooser chooser;
    chooser.child<QComboBox>("cmbFileType")->setCurrentIndex(2);
    for (const QString& name : selected)
        chooser.select(name);
    QCOMPARE(chooser.preview(), preview);
    if (removed)
        QVERIFY(QFile::remove(QDir(chooser.data).filePath(selected.last())));
    if (doubleClick)
        QTest::mouseDClick(chooser.files()->viewport(), Qt::LeftButton, Qt::NoModifier,
                           chooser.files()->visualItemRect(chooser.item(selected.last())).center());
    else
        QTest::mouseClick(chooser.child("cmdOK"), Qt::LeftButton);
    QCOMPARE(chooser.dialog->isVisible(), chosen.isEmpty());
    QCOMPARE(chooser.dialog->result(), int(chosen.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
    QCOMPARE(chooser.dialog->chosenPath(),
             chosen.isEmpty() ? QString() : QDir::toNativeSeparators(QDir(chooser.data).filePath(chosen)));
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

// Catches a drive list without the home folder, or a drive choice that does not change folder.
void tst_frmPhotoChooser::drives() {
    Chooser chooser;
    auto* drives = chooser.child<QComboBox>("drvDialog");
    QStringList roots;
    for (int i = 0; i < drives->count(); ++i)
        roots.append(drives->itemData(i).toString());
    const int dataDrive = drives->currentIndex();
    const int home = int(roots.indexOf(QDir::cleanPath(QDir::homePath())));
    QVERIFY2(home >= 0, qPrintable(roots.join(QLatin1Char(' '))));
    if (dataDrive == home)
        QSKIP("the temporary folder lies in the home folder");
    drives->setCurrentIndex(home);
    chooser.dialog->drvDialog_Change();
    QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(QDir::homePath()));
    // Back on the first drive, its folder last browsed is current again.
    drives->setCurrentIndex(dataDrive);
    chooser.dialog->drvDialog_Change();
    QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.data));
}

QTEST_MAIN(tst_frmPhotoChooser)
#include "tst_frmphotochooser.moc"
