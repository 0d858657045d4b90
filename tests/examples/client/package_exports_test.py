#!/usr/bin/python3
"""The packages export what a client program uses and nothing else: their entry points,
the API of their own classes and units, and the objects of inline code that every
module must share with the platform library (class descriptors, virtual tables, type
information), so that each exists once in the process."""
import os
import re
import subprocess
import sys

BINARY = os.environ["VX_BINARY_DIR"]

# Shared with the platform: any virtual table and type information, the statics of
# inline functions and the inline globals of the platform's headers.
SHARED = [r"(vtable|VTT|typeinfo|typeinfo name|guard variable) for .*", r"(.*::StaticClass\(\)::info|RT_\w+)"]
LINKER = {"_end", "_edata", "__bss_start", "_init", "_fini"}
PACKAGES = {
    "libvxpackage.so": [r"Tvx\w*", r"TCommonImageLabel", r"THtmlParser", r"ParsedItem", r"TTransPanel", r"TPNG\w*",
                        r"TChunk\w*", r"EPNG\w*", r"EPng\w*", r"TGIF\w*", r"EGIF\w*", r"GIF\w*", r"PaletteDevice", r"DoAutoDither", r"CF_GIF", r"PngImage\w*",
                        r"(HtmlParser|TransPanelSmp|vxBizButtonList|vxComboBox|vxIconCurrencyEdit|vxIconEdit|"
                        r"vxImageButton|vxImageLabel|vxXLabel|vxXLabelHelper|vxXLabelHelperPanel)::\w+"],
    "libgridsift.so": [r"TGrid5Adapter", r"TStyleSheetList", r"TfGrid5SearchOption", r"(Unchecked|Checked)Glyph",
                       r"IsCheckAllGlyph", r"StyleSheetList", r"EditableStyle", r"ColoredSelectionStyle",
                       r"(Grid5Adapter|Grid5StyleSeets)::\w+"],
}
# What must be there: the entry points, and an API a client calls.
REQUIRED = {
    "libvxpackage.so": ["Initialize", "Finalize", "GetPackageInfoTable", "TvxComboBox::TvxComboBox(TComponent*)",
                        "TvxBizButtonList::FunctionKeyCheck(TObject*, unsigned short&, TSet<TShiftStateItem>)",
                        "vtable for TvxImageButton", "TPNGObject::StaticClass()::info",
                        "TGIFImage::TGIFImage()", "PaletteDevice"],
    "libgridsift.so": ["Initialize", "Finalize", "GetPackageInfoTable", "TGrid5Adapter::TGrid5Adapter(TComponent*)",
                       "TGrid5Adapter::FunctionKeyCheck(TObject*, unsigned short&, TSet<TShiftStateItem>)",
                       "StyleSheetList"],
}


def exported(library):
    out = subprocess.run(["nm", "-DC", "--defined-only", os.path.join(BINARY, library)], check=True,
                         capture_output=True, text=True).stdout
    return {line[19:] for line in out.splitlines() if len(line) > 19}


def main():
    problems = []
    for library, api in PACKAGES.items():
        allowed = re.compile("|".join(SHARED) + r"|(" + "|".join(api) + r")\b.*")
        names = exported(library)
        for name in sorted(names - LINKER - {"Initialize", "Finalize", "GetPackageInfoTable"}):
            if not name.startswith("__odr_asan") and not allowed.fullmatch(name):
                problems.append("%s exports %s" % (library, name))
        for name in REQUIRED[library]:
            if name not in names:
                problems.append("%s does not export %s" % (library, name))
    for p in problems[:40]:
        print(p, file=sys.stderr)
    return 1 if problems else 0


sys.exit(main())
