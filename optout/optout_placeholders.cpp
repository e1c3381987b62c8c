// Temporary: lets the window link until the Dial request arrives.
#include "dial_request.h"

void OnBnClickedButDial() {}
