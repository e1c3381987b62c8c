// [Dial]: from the typed number to an outgoing call, with the login rule,
// Do-Not-Call screening, the outbound Not Ready and the prefixes.
#pragma once

class MainWindow;

// What a dial request calls outside the window. The Dial button uses the
// database layer, the agent modes and the voice engine; tests give fakes.
struct DialServices {
    bool (*connectionOpen)();                                           // dbConnectionOpen
    int (*openConnection)(const char* connectionString);                // dbOpenConnection
    int (*searchRecord)(const char* statement, const char* parameter);  // dbSearchRecord
    int (*setNotReadyReason)(const char* name, const char* pausedValue);
    int (*placeCall)(const char* dialString);  // iaxc_call
    int* activeCallNo;                         // g_activeCallNo
};

// The whole request on window, in order: login rule, number, screening,
// Not Ready, outgoing number, dial string, call.
void runDialRequest(MainWindow& window, const DialServices& services);

// The Dial button's handler (control 1002), on g_mainDlg.
void OnBnClickedButDial();
