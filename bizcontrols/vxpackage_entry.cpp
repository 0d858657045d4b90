// The business controls package (libvxpackage.so): the picture codecs and the business
// controls. Its units initialize in this order; their Register procedures put the
// controls on the palette pages "Vextra" and "Samples".
#include <iterator>

#include "bizcontrols/HtmlParser.h"
#include "bizcontrols/TransPanelSmp.h"
#include "bizcontrols/uHelpManager.h"
#include "bizcontrols/vxBizButtonList.h"
#include "bizcontrols/vxBizStatusBar.h"
#include "bizcontrols/vxComboBox.h"
#include "bizcontrols/vxIconCurrencyEdit.h"
#include "bizcontrols/vxIconEdit.h"
#include "bizcontrols/vxImageButton.h"
#include "bizcontrols/vxImageLabel.h"
#include "bizcontrols/vxXLabel.h"
#include "bizcontrols/vxXLabelHelper.h"
#include "bizcontrols/vxXLabelHelperPanel.h"
#include "codecs/gif/GifImage.h"
#include "codecs/png/PngImage.h"
#include "platform/rtl/sysutils.h"

namespace {

const TPackageUnit kUnits[] = {
    {"GIFImage", GIFImageInitialize, GIFImageFinalize, nullptr},
    {"PngImage", PngImageInitialize, PngImageFinalize, nullptr},
    {"HtmlParser", nullptr, nullptr, HtmlParser::Register},
    {"vxImageButton", nullptr, nullptr, vxImageButton::Register},
    {"vxImageLabel", nullptr, nullptr, vxImageLabel::Register},
    {"TransPanelSmp", nullptr, nullptr, TransPanelSmp::Register},
    {"vxXLabelHelper", nullptr, nullptr, vxXLabelHelper::Register},
    {"vxXLabelHelperPanel", nullptr, nullptr, vxXLabelHelperPanel::Register},
    {"vxXLabel", nullptr, nullptr, vxXLabel::Register},
    {"vxComboBox", nullptr, nullptr, vxComboBox::Register},
    {"vxIconEdit", nullptr, nullptr, vxIconEdit::Register},
    {"vxIconCurrencyEdit", nullptr, nullptr, vxIconCurrencyEdit::Register},
    {"vxBizButtonList", nullptr, nullptr, vxBizButtonList::Register},
    {"uHelpManager", nullptr, nullptr, nullptr},
    {"vxBizStatusBar", nullptr, nullptr, vxBizStatusBar::Register},
};

const TPackageInfoTable kPackage{"vxpackage", kUnits, std::size(kUnits)};

}  // namespace

VX_PACKAGE_ENTRY_POINTS(kPackage)
