// What the scale operations work with: the window (through its services and
// its field exchange), its values, the program-wide values, the link to the
// scale and the files.
#pragma once

#include "platform/WindowServices.h"
#include "scale/DialogValues.h"
#include "scale/ScaleConnection.h"
#include "scale/ScaleLink.h"
#include "storage/FileSystem.h"
#include "storage/ShiftStore.h"

namespace scale {

// The main window's data exchange between its controls and its values.
class FieldExchange {
public:
    virtual ~FieldExchange() = default;
    // Controls to values, with parsing and range checks; false after the
    // first refused field, whose prompt has been shown.
    [[nodiscard]] virtual bool ReadFields() = 0;
    // Values to controls; never fails. An edit field the operator is typing
    // into keeps its text unless the program changed the field's value.
    virtual void ShowFields() = 0;
    // Values read from a file replace whatever the edit fields hold, also
    // where a loaded value equals the one the field held before.
    virtual void ShowLoadedValues() = 0;
};

// The window's operating modes. Each mode has its own set of enabled mode
// buttons and at most one running timer; the window turns a mode into them.
enum class Mode { Unconfigured, Ready, Calibrating, TestMode, WorkMode };

class ModeControl {
public:
    virtual ~ModeControl() = default;
    virtual void EnterMode(Mode mode) = 0;
    // "&Guardar" follows no mode: once there are limits worth saving it
    // stays enabled for the rest of the run.
    virtual void EnableSaveLimits() = 0;
    // The scale was found gone (true) or is back (false): a mode that runs
    // no timer of its own needs one for the reconnect attempts meanwhile.
    virtual void ScaleLost(bool lost) { static_cast<void>(lost); }
};

struct ScaleContext {
    platform::WindowServices& window;
    FieldExchange& fields;
    ModeControl& modes;
    DialogValues& values;
    ProgramValues& program;
    ScaleConnection& link;
    storage::FileSystem& files;
    // Where each counted item is kept before the window shows it.
    storage::ShiftStore& shift;
};

}  // namespace scale
