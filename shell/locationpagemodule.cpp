#include "locationpagemodule.h"

#include "geolocationdialog.h"

extern "C" Q_DECL_EXPORT QDialog *orvMakeGeolocationDialog(QWidget *parent, OrvSendGps sendGps)
{
    auto *dialog = new GeolocationDialog(parent);
    if (sendGps)
        QObject::connect(dialog, &GeolocationDialog::sendGps, dialog, sendGps);
    return dialog;
}
