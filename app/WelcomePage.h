// What the window shows in place of the trees when none could be loaded (started from a
// launcher, or in a folder without tree files): how to open two checklists, and the
// pairs opened before, one click away.
#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;

class CWelcomePage : public QWidget {
    Q_OBJECT
public:
    explicit CWelcomePage(QWidget* parent = nullptr);

    // The recent-file list's entries; those naming a pair (two paths on two lines) are
    // offered, newest first.
    void SetRecentFiles(const QStringList& recentFiles);

    QPushButton* m_btnOpen = nullptr;
    QList<QPushButton*> m_recentButtons;

signals:
    void openRequested();
    void recentRequested(const QString& entry);

private:
    QLabel* m_recentHeading = nullptr;
    QVBoxLayout* m_recentLayout = nullptr;
};
