#pragma once
// The parameter requests to the relay, as every front end sends them: "GPAR:"
// reads the set, "SPAR:..." writes it and is answered by a single ACK.

#include "link/exchange.h"
#include "params/parameter_set.h"
#include "params/parameter_text.h"

class CSerialPort;

inline constexpr const char* kReadParametersRequest = "GPAR:";
inline constexpr const char* kTransferFailedText = "Die Daten konnten nicht übertragen werden!";
inline constexpr const char* kTransferOkText = "Übertragung der Daten ok.";

// Drains, asks for the set and, when the framed reply passes its test, scans it in
// full into set and info and normalizes the set. Both stay as they were otherwise.
ExchangeResult ReadRelayParameters(CSerialPort& port, ParameterSet& set, DeviceInfo& info);

// Sends the set without draining: its single read must hold only the ACK.
ExchangeResult WriteRelayParameters(CSerialPort& port, const ParameterSet& set);
