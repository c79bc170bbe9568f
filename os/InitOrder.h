#pragma once
// Start-up order of the process-wide objects. They live in many source
// files, so the order is fixed with init_priority: lower numbers are built
// first and destroyed last.
#define ZAVO_INIT(n) __attribute__((init_priority(n)))

// Test programs move the settings folder before anything reads it, and
// the program folder right after the global data is built.
#define ZAVO_PRIO_TEST_ENVIRONMENT 900
// The build's tools say before it is read that they use no settings file.
#define ZAVO_PRIO_TOOL_ENVIRONMENT 900
#define ZAVO_PRIO_PARAMETER_TABLE 1000
#define ZAVO_PRIO_PRESET_WORDS    1010
#define ZAVO_PRIO_DEBUG           1020
#define ZAVO_PRIO_BITMAPS         1030
#define ZAVO_PRIO_CONSTANTS       1040
#define ZAVO_PRIO_GLOBAL_DATA     1050
#define ZAVO_PRIO_TEST_PROGRAM_FOLDER 1055
#define ZAVO_PRIO_TABLES          1060
#define ZAVO_PRIO_FILE_DIALOGS    1070
#define ZAVO_PRIO_OS_DEVICES      1075
#define ZAVO_PRIO_DEVICES         1080
