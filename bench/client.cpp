// The example client's order form against an empty form of the platform: start-up to
// the first painted form (the packages' initialization, the form with its controls and
// 300 orders, its first paint) and a full repaint of the shown form.
#include <cstdio>
#include <memory>

#include "bench/timing.h"
#include "examples/client/uClientForm.h"
#include "platform/display/headless.h"
#include "platform/rtl/sysutils.h"

namespace {

const std::string kPictures = std::string(VX_SOURCE_DIR) + "/examples/client/pictures";

void Report(const char* What, double Took, double Ratio) {
  std::printf("%-44s %9.1f us   %6.2fx an empty form\n", What, Took, Ratio);
}

}  // namespace

int main() {
  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>());
  double took = 0;
  const double startRatio = vxbench::PairedRatio(
      [] {
        const HMODULE controls = LoadPackage("libvxpackage.so");
        const HMODULE grids = LoadPackage("libgridsift.so");
        auto* form = new TfrmClient(Application, kPictures);
        form->Show();
        form->PaintNow();
        form->Free();
        Application->ProcessMessages();
        UnloadPackage(grids);
        UnloadPackage(controls);
      },
      [] {
        auto* form = new TForm(Application);
        form->SetBounds(0, 0, 900, 620);
        form->Show();
        form->PaintNow();
        form->Free();
        Application->ProcessMessages();
      },
      5, took);
  Report("start-up to the first painted order form", took, startRatio);

  const HMODULE controls = LoadPackage("libvxpackage.so");
  const HMODULE grids = LoadPackage("libgridsift.so");
  auto* client = new TfrmClient(Application, kPictures);
  auto* empty = new TForm(Application);
  empty->SetBounds(0, 0, 900, 620);
  client->Show();
  empty->Show();
  Application->ProcessMessages();
  const double repaintRatio = vxbench::PairedRatio(
      [client] {
        client->Invalidate();
        client->PaintNow();
      },
      [empty] {
        empty->Invalidate();
        empty->PaintNow();
      },
      20, took);
  Report("full repaint of the order form", took, repaintRatio);
  client->Free();
  empty->Free();
  Application->ProcessMessages();
  UnloadPackage(grids);
  UnloadPackage(controls);
  return 0;
}
