package vmlcmd

import "fmt"

// Stage is where a failed call ended: the statuses of vmlcmd.h.
type Stage int

// The stages a call can fail at.
const (
	StageNoNetworkLink   Stage = 2  // no network target
	StageArgumentRefused Stage = 3  // an argument was refused; nothing was sent
	StageAddressInvalid  Stage = 4  // the host is not a dotted-quad IPv4 address
	StageConnectRefused  Stage = 5  // nothing listens at the address and port
	StageConnectTimedOut Stage = 6  // no connection within 100 ms
	StageConnectFailed   Stage = 7  // the connection failed otherwise (SystemError)
	StageLoginRefused    Stage = 8  // the login got a non-zero status (ReplyStatus)
	StageSendFailed      Stage = 9  // a request could not be sent
	StageReplyTimedOut   Stage = 10 // no reply within one second
	StageClosedByDevice  Stage = 11 // the device closed the connection before replying
	StageReceiveFailed   Stage = 12 // the receive failed otherwise, e.g. a reset
	StageReplyStatus     Stage = 13 // the device refused the request (ReplyStatus)
	StageValueMissing    Stage = 14 // the reply lacked a value (Letter)
	StageOutOfMemory     Stage = 100
)

// Error is a failed call: the stage where it ended and the details the library kept.
type Error struct {
	Op          string // the C function, e.g. "get_video_bitrate"
	Stage       Stage
	ReplyStatus int  // the device's status for StageLoginRefused and StageReplyStatus
	Exchange    int  // 0 nothing sent, 1 the login, 2 the request, 3 the second request
	SystemError int  // errno where there is one
	Letter      byte // for StageValueMissing: the letter the reply lacked
}

func (e *Error) Error() string {
	text := fmt.Sprintf("vmlcmd: %s: %s", e.Op, statusText(int(e.Stage)))
	if e.Stage == StageLoginRefused || e.Stage == StageReplyStatus {
		text += fmt.Sprintf(" (status %d)", e.ReplyStatus)
	}
	if e.Stage == StageValueMissing && e.Letter != 0 {
		text += fmt.Sprintf(" ('%c')", e.Letter)
	}
	return text
}

// Is matches errors of the same stage, so errors.Is(err, vmlcmd.ErrLoginRefused) holds for
// every refused login whatever its details.
func (e *Error) Is(target error) bool {
	other, ok := target.(*Error)
	return ok && other.Op == "" && other.Stage == e.Stage
}

// One error per stage, for errors.Is.
var (
	ErrNoNetworkLink   = &Error{Stage: StageNoNetworkLink}
	ErrArgumentRefused = &Error{Stage: StageArgumentRefused}
	ErrAddressInvalid  = &Error{Stage: StageAddressInvalid}
	ErrConnectRefused  = &Error{Stage: StageConnectRefused}
	ErrConnectTimedOut = &Error{Stage: StageConnectTimedOut}
	ErrConnectFailed   = &Error{Stage: StageConnectFailed}
	ErrLoginRefused    = &Error{Stage: StageLoginRefused}
	ErrSendFailed      = &Error{Stage: StageSendFailed}
	ErrReplyTimedOut   = &Error{Stage: StageReplyTimedOut}
	ErrClosedByDevice  = &Error{Stage: StageClosedByDevice}
	ErrReceiveFailed   = &Error{Stage: StageReceiveFailed}
	ErrReplyStatus     = &Error{Stage: StageReplyStatus}
	ErrValueMissing    = &Error{Stage: StageValueMissing}
	ErrOutOfMemory     = &Error{Stage: StageOutOfMemory}
)
