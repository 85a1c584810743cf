#include "host/host_api.h"

const HostImport host_import_table[HOST_FUNCTION_COUNT] = {
    {"GetMIDIInputName", SLOT_GET_MIDI_INPUT_NAME},
    {"GetMIDIOutputName", SLOT_GET_MIDI_OUTPUT_NAME},
    {"GetNumMIDIInputs", SLOT_GET_NUM_MIDI_INPUTS},
    {"GetNumMIDIOutputs", SLOT_GET_NUM_MIDI_OUTPUTS},
    {"Main_OnCommand", SLOT_MAIN_ON_COMMAND},
    {"ShowConsoleMsg", SLOT_SHOW_CONSOLE_MSG},
};
