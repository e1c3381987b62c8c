// Temporary: the link handle until the socket layer arrives.
int g_acmSocket = 0;
