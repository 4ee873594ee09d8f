// The channel to one serial port of the PC, and the port probe.
#pragma once

#include "win32.h"

// Port name rule: port n names the device "COM%d" for n from 0 to 9 (compared unsigned) and
// "\\.\COM%d" otherwise. `name` receives the zero-terminated device name.
inline constexpr int PortNameSize = 24;
void FormPortName(int port, char (&name)[PortNameSize]);

// Tells whether COM port n can be opened for exclusive use at this moment: 1 when it
// could, 0 when it is missing, held by anyone (this process included) or refused. Leaves
// the port closed and its line settings untouched. Caller's thread.
int PortExists(DWORD n);

// A serial port opened by number with a baud rate and a parity (0 none, 1 odd, 2 even);
// 8 data bits, one stop bit, no flow control, DTR and RTS off. Writes go out in chunks of
// at most 1024 bytes under WriteLock; one reader thread per open port hands every received
// byte, in arrival order, to OnReceiveByte. Operations return 1 for success, 0 for failure.
//
// Threads: every operation runs on the owner's (UI) thread, except that Write may be
// called from any thread (writers are serialised by WriteLock). The reader thread runs
// ReaderThreadProc and OnReceiveByte only.
//
// Destruction: the destructor calls Close(), which stops the reader. A derived class whose
// OnReceiveByte uses members of its own must call Close() in its own destructor, because
// those members are gone by the time this destructor runs.
class CXSerial {
public:
    CXSerial();
    virtual ~CXSerial();
    CXSerial(const CXSerial&) = delete;
    CXSerial& operator=(const CXSerial&) = delete;

    // One received byte, on the reader thread, in arrival order. It must not call Close,
    // StopReader, Open or Configure of this channel (they wait for the reader to end).
    virtual void OnReceiveByte(unsigned char byte) = 0;

    // 1 while PortHandle is valid, else 0.
    int IsOpen() const;
    // Same port while open: ApplyLineSettings(baud, parity). Otherwise Open(port, baud, parity).
    int Configure(int port, int baud, int parity);
    // Closes any open port first, then opens `port`, sets it up and starts the reader.
    // 1 when the port is open, set up and read; 0 otherwise, with the port released again
    // (IsOpen 0, every handle 0) whatever step failed.
    int Open(int port, int baud, int parity);
    // New baud rate and parity on the open port; the reader keeps running. 0 when the port
    // is not open or refuses the setting (the port then keeps its previous settings).
    int ApplyLineSettings(int baud, int parity);
    // Stops the reader (waiting for it to leave) and releases the port. Always 1; at once
    // when already closed.
    int Close();
    // Writes `length` bytes. 1 when every byte was handed to the port; 0 when the port is not
    // open, or when the port stopped taking bytes (device gone, or no progress for about
    // 3 seconds). No byte is ever sent twice. A 0-byte write on an open port returns 1.
    int Write(const void* data, unsigned int length);
    // Creates fresh events and the reader thread. 1 when the thread was created, else 0
    // (and then no event is left behind). 0 when the port is not open.
    int StartReader();
    // Signals the reader to stop and waits until it has left; then releases the four
    // events and the thread handle and sets them to 0. Always 1.
    int StopReader();

    // The reader thread: waits for input or the stop request (one blocking wait), reads
    // what is there and hands it to OnReceiveByte. Ends when asked to stop (exit code 5),
    // when a wait fails (4), when the device is gone (6), or at once without a port (-1).
    static DWORD WINAPI ReaderThreadProc(LPVOID param);

protected:
    OVERLAPPED WriteOverlapped; // hEvent: the write event
    OVERLAPPED ReadOverlapped;  // hEvent: the read event; used by the reader alone
    HANDLE ReaderThread;
    HANDLE StopEvent;       // manual reset; signalled to make the reader end
    HANDLE ReadEnableEvent; // manual reset; signalled by the port when input is waiting
    int PortNumber;
    int PortBaud;
    int PortParity;
    HANDLE PortHandle; // set before the reader starts, cleared only after it has stopped
    CRITICAL_SECTION WriteLock;
};
