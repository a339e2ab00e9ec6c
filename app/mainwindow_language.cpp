// The window's language: restored at start, chosen in cbLanguage, applied by
// the shell to the tab titles and Qt's own texts and by each page to its own.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "dictionary.h"
#include "numericentry.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>

#include <iterator>

namespace {

// Qt's own texts (standard buttons, file dialogs, context menus) in Traditional
// Chinese while the window speaks Chinese; where Qt's translations are not
// installed they stay English, as they are in English.
void applyQtTranslations(const QString &lang)
{
    static QTranslator *installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    if (lang != QLatin1String("zh") || !QCoreApplication::instance())
        return;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_zh_TW"), QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        return;
    installed = translator.release();
    QCoreApplication::installTranslator(installed);
}

}  // namespace

void MainWindow::restoreLanguage()
{
    // Any other stored code is kept as it is: the texts then fall back to English
    // while the combo box shows Chinese, until the user picks a language.
    m_context.lang = appSettings().value(QStringLiteral("AppLanguage"), QStringLiteral("zh")).toString();
    const QSignalBlocker blocker(m_context.ui->cbLanguage);
    m_context.ui->cbLanguage->setCurrentIndex(m_context.lang == QLatin1String("en") ? 1 : 0);
}

void MainWindow::changeLanguage(int index)
{
    // Item 0 is "中文", item 1 "English".
    m_context.lang = index != 0 ? QStringLiteral("en") : QStringLiteral("zh");
    // Saved at once, so quitting right after still starts in the chosen language.
    QSettings settings = appSettings();
    settings.setValue(QStringLiteral("AppLanguage"), m_context.lang);
    settings.sync();
    applyLanguage();
}

void MainWindow::applyLanguage()
{
    applyQtTranslations(m_context.lang);
    const char *const tabKeys[] = {"tab_connection", "tab_operation", "tab_params", "tab_advanced",
                                   "tab_engineering"};
    QTabWidget *tabs = m_context.ui->mainTabs;
    for (int i = 0; i < int(std::size(tabKeys)) && i < tabs->count(); ++i)
        tabs->setTabText(i, translateKey(QLatin1String(tabKeys[i]), m_context.lang));
    for (Page *page : m_pages)
        page->retranslate();
    NumericEntry::setLanguage(this, m_context.lang);
}
