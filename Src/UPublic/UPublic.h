// The shared unit: state, settings, the recordings list and text helpers used by every window.
#pragma once

#include "AppState.h"
#include "FormatText.h"
#include "IniFile.h"
#include "Options.h"
#include "SavedRecordings.h"
