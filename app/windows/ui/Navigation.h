// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the windows ask of each other's showing and enabling. Each is defined
// by the window that is asked, so a window reaches another one's folder only
// through here and the window folders never include each other in a circle.
class QWidget;

namespace Navigation {

// The list editor (windows/editor/Form1.cpp).
void showEditor();
// Does nothing while the editor is not loaded.
void enableEditor(bool enabled);
// A window opened over the editor goes out of sight and the editor takes
// clicks again.
void returnToEditor(QWidget *window);

// The main window (windows/install/Form2.cpp).
void showMainWindow();
// Does nothing while the main window is not loaded.
void enableMainWindow(bool enabled);

// The help windows (windows/install/Dialog1.cpp, Dialog2.cpp).
void showMainHelp();
void showEditorHelp();

// The about box (windows/startup/frmAbout.cpp).
void showAbout();

// The windows that add to the editor's list (windows/adding).
void showAddItem();
void showSearchFolderChooser();
void showSearchOptions();
// The folder search into the editor's list, with its path and pattern as they
// are now; nothing without the search control.
void searchIntoEditor();

}
