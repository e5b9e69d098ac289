#ifndef CONSOLEOUTPUT_H
#define CONSOLEOUTPUT_H

// On Windows the panel is a GUI program, which gets no console: started from
// one, its standard output and error go to that console from here on, unless
// they are redirected already (to a file or a pipe, which then keeps them).
// Elsewhere the streams are the terminal's anyway, and nothing happens.
void useParentConsole();

#endif // CONSOLEOUTPUT_H
