# Runs the payload-name rules on one list of names.
#   cmake -DRULES=<LanternPayloadRules.cmake> -DFRONT_END=<name> -DNAMES=<a,b,c> -P check_names.cmake
cmake_minimum_required(VERSION 3.25)
include("${RULES}")
string(REPLACE "," ";" names "${NAMES}")
_lantern_check_payload("check" "${FRONT_END}" ${names})
