// The kernel services of the Win32 layer: serial ports, overlapped I/O, events, threads,
// critical sections, Sleep and name formatting, with the documented Win32 names, record
// layouts and constant values. This is a POSIX implementation (termios, poll, eventfd,
// pthreads) of the subset the serial channel and the port probe call.
//
// Handles. Every handle (port, event, thread) names a small object of this layer; 0 and
// INVALID_HANDLE_VALUE name nothing. A call given a handle that names no object, or an
// object of the wrong kind, fails with ERROR_INVALID_HANDLE (waits: WAIT_FAILED).
// CloseHandle releases the handle exactly once; a second CloseHandle fails.
//
// Last error. Every failing call sets the calling thread's last error (GetLastError).
//
// Port names. CreateFileA opens "COMn" (n from 1 to 9) and "\\.\COMn" (any n >= 1, no
// leading zeros). COM number n resolves to a device as follows:
//   1. $XDG_CONFIG_HOME/cmt2300-config/dosdevices/comN (XDG_CONFIG_HOME defaults to
//      ~/.config), when that entry exists: a symlink to (or the node of) the device.
//   2. Otherwise the built-in table: COM1-32 = /dev/ttyUSB0-31, COM33-64 = /dev/ttyACM0-31,
//      COM65-96 = /dev/ttyS0-31, COM97-128 = /dev/ttyAMA0-31; any other number has no device.
// Setting the environment variable CMT2300_DOSDEVICES_ONLY to "1" disables step 2, so that
// only the folder maps ports. Test fixtures set it, so that tests never reach the
// machine's own serial devices. Both are read at every CreateFileA.
//
// Overlapped I/O. Ports are always opened for overlapped use. ReadFile, WriteFile and
// WaitCommEvent move what they can at once; the rest is left under way (ERROR_IO_PENDING)
// and makes progress while some thread waits on the OVERLAPPED's event (WaitFor*Object*)
// or asks for the result (GetOverlappedResult). When it completes, the event is signalled.
// A port allows one operation of each kind (read, write, comm-event wait) under way at a
// time; the caller keeps the buffer and the OVERLAPPED alive until the operation is
// settled (completed, aborted by PurgeComm, or the port closed).
//
// Device gone. When the device hangs up (a USB adapter pulled, a pseudo-terminal's master
// closed), reads, writes and comm-event waits fail with ERROR_DEVICE_NOT_CONNECTED instead
// of reporting no data forever.
#pragma once

#include "win32_types.h"

// ---- Records ------------------------------------------------------------------------------

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// Line settings of a serial port. 28 bytes, bit fields in declaration order from bit 0.
struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
using LPDCB = DCB*;
static_assert(sizeof(DCB) == 28, "DCB must keep its documented size");

// Time-outs in milliseconds. This layer accepts any values and keeps them, but implements
// only the all-zero record's meaning: no time-outs.
struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};
using LPCOMMTIMEOUTS = COMMTIMEOUTS*;

// Port status reported by ClearCommError.
struct COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;  // received bytes waiting to be read
    DWORD cbOutQue; // bytes waiting to be sent
};
using LPCOMSTAT = COMSTAT*;

// One overlapped operation. Internal holds its status (STATUS_PENDING while under way,
// 0 when completed, else the error code), InternalHigh the bytes moved so far. hEvent is
// the caller's event: reset when the operation starts, signalled when it completes.
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

// Recursive lock, as on Windows. The storage is opaque to callers.
struct CRITICAL_SECTION {
    alignas(16) unsigned char Opaque[64];
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

using LPTHREAD_START_ROUTINE = DWORD(WINAPI*)(LPVOID lpThreadParameter);

// ---- Constants (documented Win32 values) --------------------------------------------------

inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
inline constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

inline constexpr DWORD PURGE_TXABORT = 0x0001;
inline constexpr DWORD PURGE_RXABORT = 0x0002;
inline constexpr DWORD PURGE_TXCLEAR = 0x0004;
inline constexpr DWORD PURGE_RXCLEAR = 0x0008;

inline constexpr DWORD EV_RXCHAR = 0x0001;
inline constexpr DWORD EV_RXFLAG = 0x0002;
inline constexpr DWORD EV_TXEMPTY = 0x0004;
inline constexpr DWORD EV_CTS = 0x0008;
inline constexpr DWORD EV_DSR = 0x0010;
inline constexpr DWORD EV_RLSD = 0x0020;
inline constexpr DWORD EV_BREAK = 0x0040;
inline constexpr DWORD EV_ERR = 0x0080;
inline constexpr DWORD EV_RING = 0x0100;

inline constexpr DWORD CE_RXOVER = 0x0001;
inline constexpr DWORD CE_OVERRUN = 0x0002;
inline constexpr DWORD CE_RXPARITY = 0x0004;
inline constexpr DWORD CE_FRAME = 0x0008;
inline constexpr DWORD CE_BREAK = 0x0010;

inline constexpr BYTE NOPARITY = 0;
inline constexpr BYTE ODDPARITY = 1;
inline constexpr BYTE EVENPARITY = 2;
inline constexpr BYTE MARKPARITY = 3;
inline constexpr BYTE SPACEPARITY = 4;

inline constexpr BYTE ONESTOPBIT = 0;
inline constexpr BYTE ONE5STOPBITS = 1;
inline constexpr BYTE TWOSTOPBITS = 2;

inline constexpr DWORD DTR_CONTROL_DISABLE = 0;
inline constexpr DWORD DTR_CONTROL_ENABLE = 1;
inline constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_DISABLE = 0;
inline constexpr DWORD RTS_CONTROL_ENABLE = 1;
inline constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_TOGGLE = 3;

inline constexpr DWORD CBR_110 = 110;
inline constexpr DWORD CBR_300 = 300;
inline constexpr DWORD CBR_600 = 600;
inline constexpr DWORD CBR_1200 = 1200;
inline constexpr DWORD CBR_2400 = 2400;
inline constexpr DWORD CBR_4800 = 4800;
inline constexpr DWORD CBR_9600 = 9600;
inline constexpr DWORD CBR_14400 = 14400;
inline constexpr DWORD CBR_19200 = 19200;
inline constexpr DWORD CBR_38400 = 38400;
inline constexpr DWORD CBR_57600 = 57600;
inline constexpr DWORD CBR_115200 = 115200;
inline constexpr DWORD CBR_128000 = 128000;
inline constexpr DWORD CBR_256000 = 256000;

inline constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
inline constexpr DWORD WAIT_ABANDONED = 0x00000080;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

inline constexpr DWORD STILL_ACTIVE = 259;
inline constexpr DWORD STATUS_PENDING = 0x00000103;

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_BUSY = 170;
inline constexpr DWORD ERROR_OPERATION_ABORTED = 995;
inline constexpr DWORD ERROR_IO_INCOMPLETE = 996;
inline constexpr DWORD ERROR_IO_PENDING = 997;
inline constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;

// The calls have C linkage, as on Windows.
extern "C" {

// ---- Error state --------------------------------------------------------------------------

// The calling thread's last error.
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

// ---- Files and serial ports ---------------------------------------------------------------

// Opens a serial port by its COM name (see the top of this file) for exclusive overlapped
// use. Only dwCreationDisposition OPEN_EXISTING and share mode 0 are supported; access must
// include GENERIC_READ and GENERIC_WRITE. Exclusive means: no second open succeeds, in this
// process or another, whoever the caller is, until the handle is closed.
// Returns the port handle, or INVALID_HANDLE_VALUE with the last error ERROR_FILE_NOT_FOUND
// (no such port or device) or ERROR_ACCESS_DENIED (held by someone, or no permission).
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);

// Releases a port, event or thread handle. Closing a port settles every operation still
// under way on it as aborted (ERROR_OPERATION_ABORTED, event signalled) and releases the
// exclusive hold. Closing a thread handle does not stop the thread.
BOOL CloseHandle(HANDLE hObject);

// PURGE_TXABORT / PURGE_RXABORT settle the write / the read and comm-event wait under way
// as aborted (their events signalled, InternalHigh keeping the bytes already moved);
// PURGE_TXCLEAR / PURGE_RXCLEAR discard the driver's output / input queue.
BOOL PurgeComm(HANDLE hFile, DWORD dwFlags);

// Event mask for WaitCommEvent. Of the events, this layer reports EV_RXCHAR.
BOOL SetCommMask(HANDLE hFile, DWORD dwEvtMask);
BOOL GetCommMask(HANDLE hFile, LPDWORD lpEvtMask);

// Waits for an event of the mask. With bytes already waiting and EV_RXCHAR in the mask it
// completes at once (TRUE, *lpEvtMask = EV_RXCHAR). Otherwise it is left under way
// (FALSE, ERROR_IO_PENDING): the OVERLAPPED's event is signalled when input arrives
// (GetOverlappedResult then gives TRUE and stores EV_RXCHAR at lpEvtMask, which must stay
// valid until then) or when the device is gone (GetOverlappedResult fails with
// ERROR_DEVICE_NOT_CONNECTED). Fails at once with ERROR_DEVICE_NOT_CONNECTED when the
// device is already gone. lpOverlapped is required.
BOOL WaitCommEvent(HANDLE hFile, LPDWORD lpEvtMask, LPOVERLAPPED lpOverlapped);

BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
BOOL GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);

// Applies line settings: raw mode, receiver on, modem lines ignored; ByteSize 8 only;
// Parity NOPARITY, ODDPARITY or EVENPARITY (input parity checking on with parity);
// StopBits ONESTOPBIT or TWOSTOPBITS; hardware and software flow control off whatever the
// record says (fOutxCtsFlow, fOutX, fInX, RTS_CONTROL_HANDSHAKE are refused);
// DTR and RTS dropped for DTR_CONTROL_DISABLE / RTS_CONTROL_DISABLE (a port without modem
// lines is fine). A baud rate the platform has no exact setting for, or any other value
// outside those, fails with ERROR_INVALID_PARAMETER and changes nothing.
// Supported rates: 50 ... 4000000, the standard termios speeds.
BOOL SetCommState(HANDLE hFile, LPDCB lpDCB);
// The record last accepted by SetCommState (all zero with DCBlength 28 before the first).
BOOL GetCommState(HANDLE hFile, LPDCB lpDCB);

// Queue sizes; accepted and kept (the driver's own queues are used).
BOOL SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue);

// Reports the port's waiting input and output (lpStat may be null) and clears its error
// word (lpErrors may be null; this layer reports no line errors and gives 0). Fails with
// ERROR_DEVICE_NOT_CONNECTED when the device is gone.
BOOL ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat);

// Overlapped read: lpOverlapped is required. TRUE when nNumberOfBytesToRead bytes were read
// at once (*lpNumberOfBytesRead holds the count); otherwise FALSE with ERROR_IO_PENDING and
// the rest completes as input arrives (all-zero time-outs: the read completes when the
// requested number of bytes is there). A 0-byte read succeeds at once.
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
// Overlapped write: lpOverlapped is required. TRUE when every byte was handed to the driver
// at once; otherwise FALSE with ERROR_IO_PENDING, and the rest goes out as the port takes
// it. Each byte is handed over once. A 0-byte write succeeds at once.
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);

// Result of an overlapped operation. Makes what progress it can without blocking; with
// bWait it blocks until the operation is settled. Completed: TRUE, the count moved.
// Failed or aborted: FALSE, the last error of the failure, and the count moved before it.
// Still under way (bWait FALSE): FALSE, ERROR_IO_INCOMPLETE, and the count moved so far.
BOOL GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                         LPDWORD lpNumberOfBytesTransferred, BOOL bWait);

// ---- Events, waits, threads ---------------------------------------------------------------

// An event, manual- or auto-reset, signalled or not at first. Names are not supported
// (lpName must be null). Returns 0 on failure.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);

// Waits on an event or a thread (signalled once the thread has ended), at most
// dwMilliseconds (INFINITE: no limit). WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
// Satisfying the wait resets an auto-reset event. While waiting, overlapped operations
// whose event is waited on make progress.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
// Waits until any one of nCount (1 to MAXIMUM_WAIT_OBJECTS) events or threads is
// signalled; returns WAIT_OBJECT_0 + the lowest index among the signalled ones,
// WAIT_TIMEOUT or WAIT_FAILED. Waiting for all (bWaitAll) is not supported: WAIT_FAILED
// with ERROR_INVALID_PARAMETER. One poll() covers every handle: no polling loop.
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds);

// Starts a thread at once running lpStartAddress(lpParameter). Stack size 0 means the
// default; creation flags must be 0. The handle stays valid until closed, also after the
// thread ended. Returns 0 on failure.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId);
// STILL_ACTIVE while the thread runs, then its exit code.
BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);

void Sleep(DWORD dwMilliseconds);
// Milliseconds since an arbitrary start, from a clock that never goes back; wraps after
// about 49.7 days (compare differences, not values).
DWORD GetTickCount();

// ---- Critical sections --------------------------------------------------------------------

// Recursive: the owning thread may enter again and leaves as often as it entered.
void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// ---- Formatting ---------------------------------------------------------------------------

// printf-style formatting into lpOut, at most 1024 bytes including the terminating zero
// (longer output is cut). Returns the number of characters stored, without the zero.
int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) __attribute__((format(printf, 2, 3)));

} // extern "C"
