// The Refresh button of the host-address band: asks the stack afresh and shows the result.
// A failing listing leaves the handler; the framework shows the error and the label keeps its text.
#include "Mainwin.h"
#include "net/LocalAddress.h"

void TmainForm::refreshIpBTNClick(TObject* /*Sender*/) { ipValLBL->SetCaption(GetLocalAddressText()); }
