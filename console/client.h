#ifndef TALVO_CONSOLE_CLIENT_H_
#define TALVO_CONSOLE_CLIENT_H_

// The whole client run: arguments, connection, command loop and teardown.
// Returns the exit status: 0 after the exit command or the end of input,
// 1 when no connection could be made or an argument does not fit.
int runClient(int argc, char** argv);

#endif  // TALVO_CONSOLE_CLIENT_H_
