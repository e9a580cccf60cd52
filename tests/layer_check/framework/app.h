#pragma once
// A header that brings in Qt Widgets.
#include <QApplication>
