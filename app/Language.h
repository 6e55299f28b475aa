// The window's language: Bytemender's English texts and Qt's own dialog
// texts when the desktop's interface language is English, else the Chinese
// source texts with Qt's dialogs in Chinese too.
#pragma once

class QCoreApplication;

// Installs the translators for english (true) or the source texts (false)
// on app and routes the Qt-free Translate() through them. Call once, after
// the application object exists. Returns false when a translation that
// should exist could not be loaded (the source texts are then shown).
bool InstallTranslations(QCoreApplication* app, bool english);
