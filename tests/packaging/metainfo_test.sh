#!/usr/bin/env bash
# The AppStream metainfo validates without any issue (apart from pedantic ones) and its newest
# release is the project's version.
#   metainfo_test.sh METAINFO VERSION
source "$(dirname "$0")/common.sh"
metainfo=$1 version=$2

appstreamcli validate --no-net --strict --explain "$metainfo" || fail "appstreamcli validate"
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -1 | cut -d'"' -f2)
[[ "$newest" == "$version" ]] || fail "newest release is $newest, the project is $version"
