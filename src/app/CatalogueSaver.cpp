#include "app/CatalogueSaver.h"

#include "catalogue/CatalogueFiles.h"
#include "catalogue/SharedState.h"
#include "ui/MessageBox.h"

#include <functional>

namespace {

QString failureText(const Status& status) {
    return QStringLiteral("kioskSmith could not write %1.\n\n%2\n\n"
                          "Your store is still safe in memory. Free some disk space or make the folder writable, "
                          "then choose Retry.")
        .arg(status.file(), status.reason());
}

// Runs `write` until it succeeds or the owner gives up.
bool withRetry(QWidget* parent, const std::function<Status()>& write) {
    for (;;) {
        const Status status = write();
        if (status)
            return true;
        if (MessageBox::show(parent, failureText(status), MessageBox::RetryCancel) != MessageBox::Retry)
            return false;
    }
}

} // namespace

namespace CatalogueSaver {

bool saveAtExit(QWidget* parent, SharedState& state) {
    if (!state.catalogueLoaded)
        return true;
    return withRetry(parent, [&] { return CatalogueFiles::saveDepartments(state.dataFolder, state.catalogue); }) &&
           withRetry(parent, [&] { return CatalogueFiles::saveProducts(state.dataFolder, state.catalogue); });
}

void loadAtStart(QWidget* parent, SharedState& state) {
    withRetry(parent, [&] { return CatalogueFiles::loadDepartments(state.dataFolder, state.catalogue); });
    withRetry(parent, [&] { return CatalogueFiles::loadProducts(state.dataFolder, state.catalogue); });
    state.catalogue.packDepartments();
    state.catalogueLoaded = true;
}

} // namespace CatalogueSaver
