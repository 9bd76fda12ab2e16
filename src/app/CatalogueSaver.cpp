#include "app/CatalogueSaver.h"

#include "catalogue/CatalogueFiles.h"
#include "catalogue/SharedState.h"
#include "ui/MessageBox.h"

#include <QFile>

namespace {

bool isEnding(const CatalogueSaver::Ending& ending) {
    return ending && ending();
}

QString writeFailureText(const Status& status) {
    return QStringLiteral("kioskSmith could not write %1.\n\n%2\n\n"
                          "Your store is still safe in memory. Free some disk space or make the folder writable, "
                          "then choose Retry. Choose Cancel to end without saving or to keep working.")
        .arg(status.file(), status.reason());
}

enum class Outcome { Written, EndWithout, StayOpen };

// Runs `write` until it succeeds, or the owner chooses to end without it or to stay. Asked from
// outside to end, there is one attempt and no question.
Outcome withRetry(QWidget* parent,
                  const std::function<Status()>& write,
                  const QString& lost,
                  const CatalogueSaver::Ending& ending) {
    for (;;) {
        const Status status = write();
        if (status)
            return Outcome::Written;
        if (isEnding(ending))
            return Outcome::EndWithout;
        const MessageBox::Answer answer = MessageBox::show(parent, writeFailureText(status), MessageBox::RetryCancel);
        if (isEnding(ending))
            return Outcome::EndWithout;
        if (answer == MessageBox::Retry)
            continue;
        const MessageBox::Answer end =
            MessageBox::show(parent,
                             QStringLiteral("End kioskSmith without saving?\n\n%1\n\n"
                                            "Choose No to keep kioskSmith open and try again later.")
                                 .arg(lost),
                             MessageBox::YesNo);
        if (isEnding(ending) || end == MessageBox::Yes)
            return Outcome::EndWithout;
        return Outcome::StayOpen;
    }
}

// A file that could not be read at start-up is written only once it can be read and the owner
// asks for it; otherwise the program ends without writing it.
bool mayWrite(QWidget* parent, SharedState& state, const QString& path, const CatalogueSaver::Ending& ending) {
    if (!state.unreadableFiles.contains(path))
        return true;
    for (;;) {
        if (isEnding(ending))
            return false;
        const MessageBox::Answer answer = MessageBox::show(
            parent,
            QStringLiteral("kioskSmith could not read %1 when it started, so it did not load it and does not "
                           "write over it.\n\nIf you end now, the file stays as it is and what you changed in "
                           "it is lost. Make the file readable and choose Retry to save it, or choose Cancel "
                           "to end without writing it.")
                .arg(path),
            MessageBox::RetryCancel);
        if (isEnding(ending) || answer != MessageBox::Retry)
            return false;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            state.unreadableFiles.removeAll(path);
            return true;
        }
    }
}

void showUnlessEnding(QWidget* parent, const QString& text, const CatalogueSaver::Ending& ending) {
    if (!isEnding(ending))
        MessageBox::show(parent, text);
}

// What a load found, told once; `fullSave` names the save that writes a short file in full.
void report(QWidget* parent,
            SharedState& state,
            const QString& path,
            const Loaded& loaded,
            const QString& fullSave,
            const CatalogueSaver::Ending& ending) {
    switch (loaded.state()) {
    case Loaded::Whole:
        return;
    case Loaded::Missing: {
        const Status marker = LineFile::writeMarker(path);
        if (!marker)
            showUnlessEnding(parent,
                             QStringLiteral("kioskSmith could not write %1.\n\n%2\n\n"
                                            "Check that the program's folder can be written to.")
                                 .arg(marker.file(), marker.reason()),
                             ending);
        return;
    }
    case Loaded::Short:
        showUnlessEnding(parent,
                         QStringLiteral("%1 was incomplete. kioskSmith loaded what it holds and leaves the file "
                                        "as it is until %2, which writes it in full.")
                             .arg(loaded.file(), fullSave),
                         ending);
        return;
    case Loaded::Unreadable:
        state.unreadableFiles.append(loaded.file());
        showUnlessEnding(parent,
                         QStringLiteral("kioskSmith could not read %1.\n\n%2\n\n"
                                        "kioskSmith goes on without it and does not write over it. Make the file "
                                        "readable, then start kioskSmith again.")
                             .arg(loaded.file(), loaded.reason()),
                         ending);
        return;
    }
}

} // namespace

namespace CatalogueSaver {

bool saveAtExit(QWidget* parent, SharedState& state, const Ending& ending) {
    if (!state.catalogueLoaded)
        return true;
    const QString departments = CatalogueFiles::departmentsPath(state.dataFolder);
    const QString products = CatalogueFiles::productsPath(state.dataFolder);
    if (mayWrite(parent, state, departments, ending)) {
        const Outcome written = withRetry(
            parent, [&] { return CatalogueFiles::saveDepartments(state.dataFolder, state.catalogue); },
            QStringLiteral("What you changed in your departments and products since kioskSmith started will be "
                           "lost; departments.txt and products.txt keep what they held before."),
            ending);
        if (written == Outcome::StayOpen)
            return false;
        if (written == Outcome::EndWithout)
            return true; // the products are kept in step with the departments on disk
    }
    if (!mayWrite(parent, state, products, ending))
        return true;
    return withRetry(
               parent, [&] { return CatalogueFiles::saveProducts(state.dataFolder, state.catalogue); },
               QStringLiteral("What you changed in your products since kioskSmith started will be lost; "
                              "products.txt keeps what it held before."),
               ending) != Outcome::StayOpen;
}

void loadSettingsAtStart(QWidget* parent, SharedState& state, const Ending& ending) {
    const QString& folder = state.dataFolder;
    report(parent, state, SettingsFiles::ftpSettingsPath(folder),
           SettingsFiles::loadFtpSettings(folder, state.ftpSettings), QStringLiteral("you leave the upload window"),
           ending);
    report(parent, state, SettingsFiles::storeSettingsPath(folder),
           SettingsFiles::loadStoreSettings(folder, state.storeSettings),
           QStringLiteral("you choose Done in the department structure window"), ending);
}

void loadAtStart(QWidget* parent, SharedState& state, const Ending& ending) {
    const QString& folder = state.dataFolder;
    const QString atExit = QStringLiteral("kioskSmith ends");
    report(parent, state, CatalogueFiles::departmentsPath(folder),
           CatalogueFiles::loadDepartments(folder, state.catalogue), atExit, ending);
    report(parent, state, CatalogueFiles::productsPath(folder), CatalogueFiles::loadProducts(folder, state.catalogue),
           atExit, ending);
    state.catalogue.packDepartments();
    state.catalogueLoaded = true;
}

} // namespace CatalogueSaver
