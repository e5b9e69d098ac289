#ifndef CONSOLEOUTPUT_H
#define CONSOLEOUTPUT_H

// The panel's standard output and error as on Linux, wherever it runs. On
// Windows the panel is a GUI program, which gets no console: started from
// one, its streams go to that console from here on, unless they are
// redirected already (to a file or a pipe, which then keeps them); and a
// line ends in one line feed, with no carriage return added. Elsewhere
// nothing needs doing.
void setUpStandardStreams();

#endif // CONSOLEOUTPUT_H
