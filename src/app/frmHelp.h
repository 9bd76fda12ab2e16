#pragma once

#include <QTextBrowser>

// The owner's guide in a window of the program: help/Home.htm from the program's folder and the
// pages it links to. Nothing leaves the machine and no other program is started, so it opens
// offline and whoever runs kioskSmith. Alt+Left goes back.
class frmHelp final : public QTextBrowser {
    Q_OBJECT
public:
    frmHelp(const QString& helpFolder, QWidget* parent = nullptr);

    // Shows the guide's first page.
    void showHome();

    static QString homePage() { return QStringLiteral("Home.htm"); }

private:
    void follow(const QUrl& link);

    QString m_folder;
};
