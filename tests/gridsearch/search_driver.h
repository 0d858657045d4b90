// Works the search dialog of a grid's adapter as a person would.
#pragma once

#include <string>

#include "tests/platform/cx/grid_fixture.h"

class TSearchDriver {
 public:
  explicit TSearchDriver(TGridForm& Grid) : grid_(Grid) {}
  // One search: the column (-1: all), the text, the direction ("down", "up", "whole")
  // and the options; what the dialog said, or "found <record>".
  std::string Search(int Column, const std::string& Text, const std::string& Direction, bool CaseSense, bool BlankNot,
                     bool InlineText) {
    return "";
  }

 private:
  TGridForm& grid_;
};
