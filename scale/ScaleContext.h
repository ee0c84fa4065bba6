// What the scale operations work with: the window (through its services and
// its field exchange), its values, the program-wide values, the link to the
// scale and the files.
#pragma once

#include "platform/WindowServices.h"
#include "scale/DialogValues.h"
#include "scale/ScaleLink.h"
#include "storage/FileSystem.h"

namespace scale {

// The main window's data exchange between its controls and its values.
class FieldExchange {
public:
    virtual ~FieldExchange() = default;
    // Controls to values, with parsing and range checks; false after the
    // first refused field, whose prompt has been shown.
    virtual bool ReadFields() = 0;
    // Values to controls; never fails.
    virtual void ShowFields() = 0;
};

struct ScaleContext {
    platform::WindowServices& window;
    FieldExchange& fields;
    DialogValues& values;
    ProgramValues& program;
    ScaleLink& link;
    storage::FileSystem& files;
};

}  // namespace scale
