#include "LastFile.h"

#include <QSettings>

bool PresetLastFile(const QString& superfile) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrova"),
                    QStringLiteral("k380_ORX"));
    store.beginGroup(QStringLiteral("FlashFile"));
    store.setValue(QStringLiteral("Super File"), superfile);
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError;
}
