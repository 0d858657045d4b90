// The grid package (libgridsift.so): the style sheets, the grid adapter and its search
// dialog. Its units initialize in this order; their Register procedures put the two
// components on the palette page "Vextra".
#include <iterator>

#include "gridsearch/Grid5Adapter.h"
#include "gridsearch/Grid5StyleSeets.h"
#include "platform/rtl/sysutils.h"

namespace {

const TPackageUnit kUnits[] = {
    {"Grid5StyleSeets", Grid5StyleSeets::Initialization, Grid5StyleSeets::Finalization, Grid5StyleSeets::Register},
    {"Grid5Adapter", Grid5Adapter::Initialization, Grid5Adapter::Finalization, Grid5Adapter::Register},
    {"uGrid5SearchOption", nullptr, nullptr, nullptr},
};

const TPackageInfoTable kPackage{"gridsift", kUnits, std::size(kUnits)};

}  // namespace

VX_PACKAGE_ENTRY_POINTS(kPackage)
