// The ad network's wrapper as far as the player uses it: htmlAdWH shows the network's
// HTML page for the magic number and size in the ad view.
var adsBase = document.currentScript.src.replace(/\/file\/adsWrapper\.js$/, "");
function htmlAdWH(magic, width, height) {
  location.href = adsBase + "/html/ad?m=" + encodeURIComponent(magic) + "&w=" + width + "&h=" + height;
}
