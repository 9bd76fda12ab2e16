#include "app/frmHelp.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

frmHelp::frmHelp(const QString& helpFolder, QWidget* parent) : QTextBrowser(parent), m_folder(helpFolder) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("kioskSmith Help"));
    setSearchPaths({helpFolder});
    // Links are followed here; a link off the machine is not followed at all.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &frmHelp::follow);
    QSize size(720, 600);
    if (const QScreen* s = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(s->availableSize());
    resize(size);
}

void frmHelp::showHome() {
    const QString page = QDir(m_folder).filePath(homePage());
    if (QFileInfo::exists(page)) {
        setSource(QUrl::fromLocalFile(page));
    } else {
        setHtml(QStringLiteral("<p>The owner's guide is missing: kioskSmith looks for it in %1. Install "
                               "kioskSmith again to bring it back.</p>")
                    .arg(QDir::toNativeSeparators(page).toHtmlEscaped()));
    }
}

void frmHelp::follow(const QUrl& link) {
    if (link.isRelative() && link.path().isEmpty()) {
        scrollToAnchor(link.fragment());
        return;
    }
    const QUrl target = source().resolved(link);
    if (target.isLocalFile())
        setSource(target);
}
