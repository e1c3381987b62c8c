// [Dial]: from the typed number to an outgoing call, with the login rule,
// Do-Not-Call screening, the outbound Not Ready and the prefixes.
#pragma once

void OnBnClickedButDial();
