#pragma once

class QDialog;
class QWidget;

// The virtual-location dialog lives in a module of its own ("OrvLocation" beside the program) because
// its page needs QtWebKit, a large library that most runs never use: the program loads the module, and
// QtWebKit with it, only when the user first opens the page. The module gives this one function.
extern "C" {
using OrvSendGps = void (*)(double longitude, double latitude);
using OrvMakeGeolocationDialog = QDialog *(*)(QWidget *parent, OrvSendGps sendGps);
#define ORV_MAKE_GEOLOCATION_DIALOG "orvMakeGeolocationDialog"
// A new GeolocationDialog whose "set" calls sendGps with the point the user chose.
QDialog *orvMakeGeolocationDialog(QWidget *parent, OrvSendGps sendGps);
}
