// The scrambling key of every archive and saved game: a fixed secret of the
// data format. Files made with another key do not read back, so it never
// changes. 1932 printable characters; the literal's closing zero is byte 1932.
#include "core/KFile.h"

const char g_ScrambleKey[kScrambleKeySize] =
    "<DPGeg!+OQpJPUs,,w.;@-<-asPwgw'{kSVr)gnl}~QwT%K/~,c C:@k->tT9,VD>1+;*k+)s%Nc"
    "YMI'DnCD|^}$}W#;_C!h|r:=Nkto{jxY.cONPpeWmw{n,o8Jc$pCbj'&0#' 5e[_oD;HNXtnS)hJ"
    "1~;S|Akfwm3STvc9XQ8xSdIes}8Sm`uO7[-Fn=[<'Dg'm&OI!N!D[-,8UEkQF|6z#$AL}M&,20>P"
    "oDwJX6uMIAG{:^VQ9N@wLV F8Q$ddZ&e<i@nB2U~V:ZiMR,6:jqdnD=4.AY+ ]5+h$'{kjUVj6j;"
    "M_12.R>8 u`&z)Jm%!i/nOr%+j]TOD/<GH:s9oJWH8nED}Uu$sg[O,NWKy'/]PW|H.$FOY=+CRv."
    "yg>[2n`=A:tn%$^N_Yxxbub+}jnk1KGpv O!rh,W&q:xP+@f9oaHz;rswk4Qm9/Z%]<g'l1 [jzR"
    "0E(8}4^Ow$<<h1}}5X6v0,=;NVCNyFo`rK3KDqnb|DCLb3b*d4P,6UaH@`4KJHr0/t[L{McW[yOv"
    "A)O|]lShj_8f56&wTG_ot^`D.(#vR#xSjlg_wJs.7 W9oPYB[/7X!2TvNlQJ[,#!fSsly1+#C:75"
    "MW8nXY'b5]WN]$n4OSm-VpW$O&&Pk=92XGzv1cZN,W=x)d5RyEvCC)Y7X{x^r:9^e!).qwhs,G]O"
    "O* bDz$}6I`Jni6}40YSGodKsRo'UQ_PBmN|r6q796VEE+mN,BjgE2)86bNlpj dKOXc9S,}%_,S"
    "^k|Pr$|8jz`GdgE0]@!5=.;z,{Ny$hF,zZ!dPJzKY_ |%T_;9uK JP_MH%E*..rz~6].my5vBSZ)"
    "7sH3Ab-c{/SS8BJ@3cxvd/_`H:*=+;v3L9o>Q'@6K(oRNVx*Q5}B3GaL'rL-$T ixLd$(,(jQopn"
    "0GqB9x',hYtZ)N{EZPcE,+:<+%^1PG&pZih~+*b7MLvFD$/q6fEKH}4}hikB%%|;-dzjjkeyse6P"
    "N]{ %dkoB^eTpQX<5#[ZTw,d4qjIb^aALz5I|qYH/t9WxF-+4`NA1NH;^2_YTynM*05%wQ=xHhzc"
    "{cl@+%8awW237}&Ph[=CT.aFTd#bEJZ+r;@ccb2JQmKN'A$~f~IigKqo}P=e78o_*:c$07)'Z,lw"
    "iE8K>eBJ xE+H+Xk%$6+VQ};G^[J|@zB6djZ)@1TgK j~Eqw=n,~|9W-F37~Mi-$zGjkPvLr-BNB"
    "ZWU0Xpxc/vW}nMxKW^8Uc^$6ciw_^V0i-J$$9dQ7b]xxJyuZYc]&IU4G[)p<zP:;qg^QScxcLbD&"
    "4G*HcJv}gL%'pr]Ev.~8J#K+YP}$ATJzcV##7SGAb3&ge2D$|g|r'*Z6!0>u!u2^'q6%GNW*7b+_"
    "-xn<U9F^h^6b[^R&ZLa/<q`y-aI,KaU>|}AO~N$$`JI+aFk,VP4d^CCe)z-3PO.dromJ#%.ZA3]h"
    "<<TO:vVJ lwx5eSEo:^g$oC:/zaRiT<t[YMq6,Yb9NNl=_c,IeJ&'T1K]=T$(CVSTUf1MXNC%)jf"
    "W/hz<mP'cx/fhW|r2x|rt`!oWo{E~>z]LxS&~VG6| yNLcv^qDCR]E's^wSps>1(] (ZcR|~>M(R"
    "F!$#$U/m8^}}FVgWP7mP:(a]XcKV3uP1(~OJi)Ruqk+S8We6a$($R>A=!-bjIpQ!A,f*7&,_(L2/"
    "bj8LHt*+t#v}0(>2u1kVK Fq`rnuWH<r&xv-%6dI<o#o704&>SCeb}8#lS}WuW${D1uX+DnP{GJW"
    "&V8HrNiH`<j,^S^(W~b-uL]JM@a925D!qV2*$vy`Qfdv:A=]U>,(PV%~wBIF%f;CH2JLAuZn|I=,"
    "r1h(duy)HuFb{9&9;;=YJ8)7iLxTf.|ZEfOEyeu~Quoumxdlf.68p+2S^@,S,[#)49@Nb13cQ:cL"
    "Cs~<1a,FWdDU!BpvTrQZf,}KbrP:bYEK";
