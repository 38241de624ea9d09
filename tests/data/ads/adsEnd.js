// Closes the ad script's page; the player only loads it.
var adsEnded = true;
