#pragma once

// Wires the application's services, makes its delegate and runs it until it quits; the exit
// status. A second launch shows the first instance's status window and returns at once.
int applicationMain(int argc, char** argv);
