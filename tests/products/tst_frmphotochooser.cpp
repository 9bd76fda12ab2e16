#include "ProductsProgram.h"
#include "products/PictureBox.h"
#include "products/frmPhotoChooser.h"
#include "support/TestSupport.h"
#include "ui/MessageBox.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

using namespace TestSupport;

namespace {

// A chooser on a data folder of its own holding the fixture pictures, and a second folder.
struct Chooser {
    QTemporaryDir dir;
    SharedState state;
    std::unique_ptr<frmPhotoChooser> dialog;
    QString data;
    QString other;

    Chooser() {
        data = dir.filePath(QStringLiteral("program"));
        other = dir.filePath(QStringLiteral("camera"));
        QDir(dir.path()).mkpath(QStringLiteral("program"));
        QDir(dir.path()).mkpath(QStringLiteral("camera"));
        copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), data, QStringLiteral("PICTURE.JPEG"));
        copyFixture(QStringLiteral("LowerCaseJpg.jpg"), data, QStringLiteral("picture.jpg"));
        copyFixture(QStringLiteral("PngPicture.png"), data, QStringLiteral("logo.png"));
        copyFixture(QStringLiteral("NotAPicture.jpeg"), data, QStringLiteral("notes.jpeg"));
        copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), other, QStringLiteral("holiday.jpeg"));
        TestSupport::writeBytes(QDir(data).filePath(QStringLiteral("readme.txt")), "text\r\n");
        state.dataFolder = dataFolderOf(data);
        dialog = std::make_unique<frmPhotoChooser>(state);
    }

    QListWidget* files() const { return dialog->findChild<QListWidget*>(QStringLiteral("fillDialog")); }
    PictureBox* preview() const { return dialog->findChild<PictureBox*>(QStringLiteral("imgPhoto")); }
    QPushButton* button(const char* name) const { return dialog->findChild<QPushButton*>(QString::fromLatin1(name)); }
    QStringList listed() const {
        QStringList names;
        for (int i = 0; i < files()->count(); ++i)
            names.append(files()->item(i)->text());
        return names;
    }
    void select(const QString& name) const {
        const auto found = files()->findItems(name, Qt::MatchExactly);
        QVERIFY2(found.size() == 1, qPrintable(name));
        clickRow(files(), files()->row(found.first()));
    }
    // Shows the dialog modally; `act` works it while it is up.
    int run(const std::function<void(QWidget*)>& act) {
        ModalAnswer answer(act);
        const int result = dialog->exec();
        if (!answer.answered())
            qWarning("the chooser did not come up");
        return result;
    }
};

} // namespace

class tst_frmPhotoChooser : public QObject {
    Q_OBJECT
private slots:
    void init() { MessageBox::reset(); }
    void controls();
    void patterns_data();
    void patterns();
    void remembersFolder();
    void choose_data();
    void choose();
    void drives();
};

// Catches a control missing, a wrong tab order, or a control cut off or overlapping another.
void tst_frmPhotoChooser::controls() {
    Chooser chooser;
    frmPhotoChooser* d = chooser.dialog.get();
    const QStringList order = {QStringLiteral("dirDialog"), QStringLiteral("fillDialog"), QStringLiteral("drvDialog"),
                               QStringLiteral("cmdOK"), QStringLiteral("cmdCancel")};
    QCOMPARE(focusOrder(d, order), order);
    const QStringList problems = misplaced(d);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("; "))));
}

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
    auto* types = chooser.dialog->findChild<QComboBox*>(QStringLiteral("cmbFileType"));
    QCOMPARE(types->currentText(), QStringLiteral("*.jpeg"));
    chooser.dialog->show();
    QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.data));
    types->setCurrentIndex(type);
    QStringList shown = chooser.listed();
    shown.sort(Qt::CaseInsensitive);
    listed.sort(Qt::CaseInsensitive);
    QCOMPARE(shown, listed);
    chooser.dialog->hide();
}

// Catches a chooser that forgets the folder browsed before Cancel, or keeps the old preview.
void tst_frmPhotoChooser::remembersFolder() {
    Chooser chooser;
    const int first = chooser.run([&](QWidget*) {
        QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.data));
        auto* tree = chooser.dialog->findChild<QTreeWidget*>(QStringLiteral("dirDialog"));
        // Open the sibling folder from the folder list: up to the parent, then into it.
        QTreeWidgetItem* current = tree->currentItem();
        QVERIFY(current && current->parent());
        const QPoint parent = tree->visualItemRect(current->parent()).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, parent);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, parent);
        QTRY_COMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.dir.path()));
        QTreeWidgetItem* camera = nullptr;
        for (int i = 0; i < tree->currentItem()->childCount(); ++i) {
            if (tree->currentItem()->child(i)->text(0) == QLatin1String("camera"))
                camera = tree->currentItem()->child(i);
        }
        QVERIFY(camera);
        // A single click only picks the folder out.
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(camera).center());
        QCoreApplication::processEvents();
        QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.dir.path()));
        tree->setCurrentItem(camera);
        QTest::keyClick(tree, Qt::Key_Return);
        QTRY_COMPARE(chooser.listed(), QStringList{QStringLiteral("holiday.jpeg")});
        QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.other));
        chooser.select(QStringLiteral("holiday.jpeg"));
        QVERIFY(chooser.preview()->hasPicture());
        QTest::mouseClick(chooser.button("cmdCancel"), Qt::LeftButton);
    });
    QCOMPARE(first, int(QDialog::Rejected));
    QVERIFY(chooser.dialog->chosenPath().isEmpty());

    bool emptyPreview = false;
    QString folder;
    chooser.run([&](QWidget*) {
        folder = chooser.dialog->folder();
        emptyPreview = !chooser.preview()->hasPicture();
        QTest::mouseClick(chooser.button("cmdCancel"), Qt::LeftButton);
    });
    QCOMPARE(folder, QDir::cleanPath(chooser.other));
    QVERIFY(emptyPreview);
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
    bool shown = false;
    bool stayed = false;
    const int result = chooser.run([&](QWidget*) {
        chooser.dialog->findChild<QComboBox*>(QStringLiteral("cmbFileType"))->setCurrentIndex(2);
        for (const QString& name : selected)
            chooser.select(name);
        shown = chooser.preview()->hasPicture();
        if (removed)
            QVERIFY(QFile::remove(QDir(chooser.data).filePath(selected.last())));
        if (doubleClick) {
            const auto item = chooser.files()->findItems(selected.last(), Qt::MatchExactly).first();
            QTest::mouseDClick(chooser.files()->viewport(), Qt::LeftButton, Qt::NoModifier,
                               chooser.files()->visualItemRect(item).center());
        } else {
            QTest::mouseClick(chooser.button("cmdOK"), Qt::LeftButton);
        }
        stayed = chooser.dialog->isVisible();
        if (stayed)
            QTest::mouseClick(chooser.button("cmdCancel"), Qt::LeftButton);
    });
    QCOMPARE(shown, preview);
    QCOMPARE(stayed, chosen.isEmpty());
    QCOMPARE(result, int(chosen.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
    QCOMPARE(chooser.dialog->chosenPath(),
             chosen.isEmpty() ? QString() : QDir::toNativeSeparators(QDir(chooser.data).filePath(chosen)));
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

// Catches a drive list without the home folder, or a drive choice that does not change folder.
void tst_frmPhotoChooser::drives() {
    Chooser chooser;
    chooser.dialog->show();
    auto* drives = chooser.dialog->findChild<QComboBox*>(QStringLiteral("drvDialog"));
    QStringList roots;
    for (int i = 0; i < drives->count(); ++i)
        roots.append(drives->itemData(i).toString());
    QVERIFY2(roots.contains(QDir::cleanPath(QDir::homePath())), qPrintable(roots.join(QLatin1Char(' '))));
    const int dataDrive = drives->currentIndex();
    const int home = int(roots.indexOf(QDir::cleanPath(QDir::homePath())));
    if (dataDrive == home)
        QSKIP("the temporary folder lies in the home folder");
    drives->setCurrentIndex(home);
    chooser.dialog->drvDialog_Change();
    QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(QDir::homePath()));
    // Back on the first drive, its folder last browsed is current again.
    drives->setCurrentIndex(dataDrive);
    chooser.dialog->drvDialog_Change();
    QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.data));
    chooser.dialog->hide();
}

QTEST_MAIN(tst_frmPhotoChooser)
#include "tst_frmphotochooser.moc"
