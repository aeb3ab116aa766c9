#pragma once

#include "buildinfo/SignatureState.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

class QTextDocument;

// Opens the About window: product name, version and a credits text with the
// licence, signature state, build date, the SHA-256 of the running binary and
// four links. Keeps nothing between calls; an About window that is already
// open is brought to the front with freshly built text.
namespace AboutPanel {

// One styled piece of the credits text.
struct CreditRun {
    QString text;
    QFont font;
    QColor colour;
    std::optional<QUrl> link;
};

// The twelve runs of the credits, in order. Without a digest the text
// "unavailable" stands in its place (still in the digest's monospaced font).
QList<CreditRun> credits(const SignatureState& signature, const std::optional<QString>& digest);

// The runs as one rich text; link runs carry their address as anchors.
void fillDocument(QTextDocument& document, const QList<CreditRun>& runs);

// "Version " + the version, with no build number after it.
QString versionLine();

// Builds the credits from BuildInfo (the digest is computed anew) and shows
// the About window in front of everything else.
void show();

} // namespace AboutPanel
