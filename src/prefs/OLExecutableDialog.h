#pragma once

#include <QString>

#include <functional>

class QWidget;

// Lets the user locate an interpreter executable; returns its path, or an
// empty string when the dialog was cancelled. The chooser and the
// preferences window take one of these so that tests can answer in place of
// the modal dialog.
using OLExecutableChooser = std::function<QString(QWidget *parent)>;

// A modal file dialog listing executables only, starting in "/opt/local/bin"
// when that exists, else in the home folder.
QString chooseExecutable(QWidget *parent);
