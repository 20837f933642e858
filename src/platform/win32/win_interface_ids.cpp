// The interface's ids (IID_IKXServer, CLSID_KXCommServices, LIBID_VELORALib)
// as widl writes them for the console's interface description.

#include "kestrix_console_i.c"
