#!/usr/bin/env bash
# The AppStream metainfo validates without any issue (apart from pedantic ones) and its newest
# release is the project's version, as is the changelog's newest entry.
#   metainfo_test.sh METAINFO VERSION CHANGELOG
source "$(dirname "$0")/common.sh"
metainfo=$1 version=$2 changelog=$3

appstreamcli validate --no-net --strict --explain "$metainfo" || fail "appstreamcli validate"
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -1 | cut -d'"' -f2)
[[ "$newest" == "$version" ]] || fail "newest release is $newest, the project is $version"
latest=$(dpkg-parsechangelog -l "$changelog" -S Version) || fail "$changelog is not a Debian changelog"
[[ "$latest" == "$version" ]] || fail "changelog starts with ${latest:-no version}, the project is $version"
