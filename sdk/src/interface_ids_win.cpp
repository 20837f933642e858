// The interface's ids (IID_IKXServer, CLSID_KXCommServices) as widl writes
// them for the console's interface description.

#include "kestrix_console_i.c"
