#pragma once

class QDialog;
class QWidget;

// Joins the window shell's dialogs to the features they serve: the Android window's menu opens the
// virtual-location and share-folder dialogs, whose guest lines go to the input channel; the settings
// window's optimize button runs the optional environment checks.
namespace ShellWiring {

// Hands the dialogs' makers to the Android window and the optimize run to the settings window.
void install();
// A virtual-location dialog whose "set" reaches the guest's input channel.
QDialog *makeGeolocationDialog(QWidget *parent);
// A share-folder dialog whose Android commands reach the guest's input channel.
QDialog *makeShareFolderDialog();

} // namespace ShellWiring
