#pragma once
// A header any layer may use.
#include <QString>
