// The example client program: loads the two packages, shows the order form and
// unloads the packages when the form is closed.
#include <cstdio>

#include "uClientForm.h"
#include "platform/rtl/sysutils.h"

int main() {
  Application->Initialize();
  Application->SetTitle("vx client");
  // Without a screen only a script can use the form: with none, there is nothing to do.
  if (IPresenter* presenter = Application->Presenter(); presenter->Headless() && !presenter->Scripted()) {
    std::fprintf(stderr,
                 "bizclient: the run is headless and has no script (VX_HEADLESS_SCRIPT), so nobody can use the "
                 "form; the program ends\n");
    return 1;
  }
  // The packages' initialization registers their picture formats and style sheets.
  const HMODULE controls = LoadPackage("libvxpackage.so");
  const HMODULE grids = LoadPackage("libgridsift.so");
  TfrmClient* form = nullptr;
  Application->CreateForm(form);
  Application->Run();
  // The forms go before the packages whose classes they are made of.
  Application->DestroyComponents();
  UnloadPackage(grids);
  UnloadPackage(controls);
  return 0;
}
