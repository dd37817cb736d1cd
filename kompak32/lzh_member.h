// Helpers shared by the member walk and extraction.
#pragma once
#include "kompak32.h"
#include "lzh_header.h"

// Fills name (cut to LZH_MEMBER_NAME_MAX characters), the six time fields and
// originalSize of info from header.
void FillMemberInfo(const MemberHeader &header, MemberInfo *info);
