#include "ui/about/AboutPanel.h"

#include "buildinfo/BuildInfo.h"
#include "ui/about/AboutWindow.h"
#include "ui/controls/Theme.h"

#include <QApplication>
#include <QTextCursor>
#include <QTextDocument>

namespace AboutPanel {

QList<CreditRun> credits(const SignatureState& signature, const std::optional<QString>& digest) {
    const QFont body = Theme::font(11);
    const QFont digestFont = Theme::font(9.5, QFont::Normal, true);
    const QColor ink = Theme::ink.color();
    const QColor muted = Theme::muted.color();
    const QColor cyan = Theme::cyan.color();
    const QString separator = QStringLiteral("   \u00B7   ");

    return {
        {BuildInfo::licence + QStringLiteral("\n\n"), body, ink, std::nullopt},
        {QStringLiteral("Signature: ") + signature.summary() + QStringLiteral("\n"), body, muted,
         std::nullopt},
        {QStringLiteral("Built: ") + BuildInfo::buildDate() + QStringLiteral("\n\n"), body, muted,
         std::nullopt},
        {QStringLiteral("SHA-256 of this application's binary:\n"), body, muted, std::nullopt},
        {digest.value_or(QStringLiteral("unavailable")) + QStringLiteral("\n\n"), digestFont, ink,
         std::nullopt},
        {QStringLiteral("Brannock on LinkedIn"), body, cyan, QUrl(BuildInfo::authorUrl)},
        {separator, body, muted, std::nullopt},
        {QStringLiteral("More free tools"), body, cyan, QUrl(BuildInfo::toolsUrl)},
        {separator, body, muted, std::nullopt},
        {QStringLiteral("Privacy"), body, cyan, QUrl(BuildInfo::privacyUrl)},
        {separator, body, muted, std::nullopt},
        {QStringLiteral("\u2615 Buy me a coffee"), body, cyan, QUrl(BuildInfo::donationUrl)},
    };
}

void fillDocument(QTextDocument& document, const QList<CreditRun>& runs) {
    document.clear();
    QTextCursor cursor(&document);
    for (const CreditRun& run : runs) {
        QTextCharFormat format;
        format.setFont(run.font);
        format.setForeground(run.colour);
        if (run.link) {
            format.setAnchor(true);
            format.setAnchorHref(run.link->toString());
        }
        // Each line break starts a new paragraph in a QTextDocument.
        const QStringList lines = run.text.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0) {
                cursor.insertBlock(QTextBlockFormat(), format);
            }
            cursor.insertText(lines[i], format);
        }
    }
}

QString versionLine() {
    return QStringLiteral("Version ") + BuildInfo::version();
}

void show() {
    const QList<CreditRun> runs = credits(BuildInfo::signature(), BuildInfo::executableSHA256());

    AboutWindow* window = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* open = qobject_cast<AboutWindow*>(widget)) {
            window = open;
            break;
        }
    }
    if (window == nullptr) {
        window = new AboutWindow;
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->setContent(BuildInfo::product, versionLine(), runs);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace AboutPanel
