#include "buildinfo/SignatureState.h"

QString SignatureState::summary() const {
    if (!valid) {
        return QStringLiteral("Not signed, or the signature does not verify");
    }
    QString text = authority.value_or(QStringLiteral("unknown authority"));
    if (teamIdentifier && !teamIdentifier->isEmpty()) {
        text += QStringLiteral(" (Team ") + *teamIdentifier + u')';
    }
    return text;
}
