#include "keymapwiring.h"

#include "androidtouchwidget.h"
#include "androidwindow.h"
#include "commondialog.h"
#include "dialogtype.h"
#include "global.h"
#include "keyboarddialog.h"
#include "keyboardopendialog.h"
#include "keymapoverlay.h"
#include "keymapplayer.h"
#include "opacityadjustdialog.h"
#include "settingmodel.h"

namespace {

// The opacity a package's overlay has when none was stored.
constexpr int kDefaultOpacity = 50;

// After a save: the player shows the map the editor left in the record, then the opacity dialog names
// the key-control hot key and offers the overlay's opacity.
void afterSave(KeyMapPlayer *player)
{
    player->keyBoardSettingSave();
    SettingModel *settings = SettingModel::instance();
    settings->load(false);
    OpacityAdjustDialog dialog(settings->shortcuts()->keyboardKey(), nullptr);
    QObject::connect(&dialog, &OpacityAdjustDialog::sliderMoved, player, &KeyMapPlayer::opacitySliderMoved);
    dialog.setValue(Global::keyMapOpacityMap.value(Global::currentPackage, kDefaultOpacity));
    dialog.exec();
}

} // namespace

KeyMapOverlay *wireKeyMapOverlay(AndroidTouchWidget *touch)
{
    auto *overlay = new KeyMapOverlay(touch, touch);
    KeyMapPlayer *player = touch->keyMapPlayer();
    QObject::connect(player, &KeyMapPlayer::overlayBuildRequested, overlay, &KeyMapOverlay::build);
    QObject::connect(player, &KeyMapPlayer::overlayClearRequested, overlay, &KeyMapOverlay::clear);
    QObject::connect(player, &KeyMapPlayer::overlayOpacityRequested, overlay, &KeyMapOverlay::setOpacity);
    return overlay;
}

void wireKeyMapEditor(AndroidWindow *window)
{
    KeyBoardDialog::setMessageHandler([](QWidget *parent, const QString &text) {
        CommonDialog dialog(text, static_cast<int>(DialogType::Message), parent);
        dialog.exec();
    });
    KeyMapPlayer *player = window->touchWidget()->keyMapPlayer();
    window->setKeyMapEditorOpener([player](int rotation, const QRect &rect, QWidget *parent) {
        KeyBoardDialog editor(rotation, rect, parent);
        QObject::connect(&editor, &KeyBoardDialog::keyBoardSettingSave, player,
                         [player] { afterSave(player); });
        editor.exec();
        return editor.saved;
    });
    QObject::connect(player, &KeyMapPlayer::keyControlSwitched, player, [](bool on) {
        KeyBoardOpenDialog notice(on, nullptr);
        notice.exec();
    });
}
