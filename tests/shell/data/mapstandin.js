// Stands in for the web map service's JavaScript API (namespace BMap) with the calls the virtual-location
// page makes, so the page runs without the network. The map is a plain grid in its container: a click at
// a pixel gives the point at that pixel, 0.0001 degree per pixel around the map's centre (north up).
// Every call is recorded in window.mapCalls for the tests.
(function () {
    var DEGREES_PER_PIXEL = 0.0001;
    window.mapCalls = [];
    function record(text) { window.mapCalls.push(text); }

    function Point(lng, lat) { this.lng = lng; this.lat = lat; }

    function Marker(point) { this.point = point; }

    function Map(containerId) {
        var self = this;
        this.container = document.getElementById(containerId);
        this.container.style.background = "repeating-linear-gradient(0deg, #e8eef2 0, #e8eef2 39px, #c9d3da 40px)," +
            "repeating-linear-gradient(90deg, #e8eef2 0, #e8eef2 39px, #c9d3da 40px)";
        this.container.style.backgroundBlendMode = "multiply";
        this.center = new Point(0, 0);
        this.zoom = 1;
        this.overlays = [];
        this.listeners = {};
        this.layer = document.createElement("div");
        this.container.appendChild(this.layer);
        this.container.addEventListener("click", function (e) {
            if (e.target !== self.container && e.target.parentNode !== self.layer && e.target !== self.layer)
                return;
            var box = self.container.getBoundingClientRect();
            var x = e.clientX - box.left - box.width / 2;
            var y = e.clientY - box.top - box.height / 2;
            var point = new Point(self.center.lng + x * DEGREES_PER_PIXEL, self.center.lat - y * DEGREES_PER_PIXEL);
            record("click " + point.lng + "," + point.lat);
            (self.listeners["click"] || []).forEach(function (fn) { fn({ point: point }); });
        });
        record("Map " + containerId);
    }
    Map.prototype.addEventListener = function (name, fn) {
        (this.listeners[name] = this.listeners[name] || []).push(fn);
    };
    Map.prototype.clearOverlays = function () {
        this.overlays = [];
        this.layer.innerHTML = "";
        record("clearOverlays");
    };
    Map.prototype.addOverlay = function (marker) {
        this.overlays.push(marker);
        var box = this.container.getBoundingClientRect();
        var pin = document.createElement("div");
        pin.style.cssText = "position:absolute;width:14px;height:14px;border-radius:7px;background:#e53935;" +
            "border:2px solid white;left:" + (box.width / 2 - 9) + "px;top:" + (box.height / 2 - 9) + "px";
        this.layer.appendChild(pin);
        record("addOverlay " + marker.point.lng + "," + marker.point.lat);
    };
    Map.prototype.centerAndZoom = function (point, zoom) {
        this.center = point;
        this.zoom = zoom;
        record("centerAndZoom " + point.lng + "," + point.lat + "," + zoom);
    };
    Map.prototype.enableScrollWheelZoom = function (on) { record("enableScrollWheelZoom " + on); };

    // Auto-completion: the tests choose an entry through confirm().
    function Autocomplete(options) {
        this.input = options.input;
        this.listeners = {};
        Autocomplete.last = this;
        record("Autocomplete " + options.input);
    }
    Autocomplete.prototype.addEventListener = function (name, fn) { this.listeners[name] = fn; };
    Autocomplete.prototype.confirm = function (value) {
        if (this.listeners["onconfirm"])
            this.listeners["onconfirm"]({ item: { value: value } });
    };

    // Local search over a small gazetteer; the answer comes later, as the service's does.
    var PLACES = { "天安门": new Point(116.397, 39.9087), "北京市东城区王府井": new Point(116.411, 39.914) };
    function LocalSearch(region, options) {
        this.region = region;
        this.options = options || {};
        this.results = null;
    }
    LocalSearch.prototype.search = function (text) {
        var self = this;
        record("search " + this.region + " " + text);
        setTimeout(function () {
            var point = PLACES[text];
            self.results = { getPoi: function (i) { return point && i === 0 ? { point: point } : undefined; } };
            if (self.options.onSearchComplete)
                self.options.onSearchComplete(self.results);
        }, 10);
    };
    LocalSearch.prototype.getResults = function () { return this.results; };

    window.BMap = { Map: Map, Point: Point, Marker: Marker, Autocomplete: Autocomplete, LocalSearch: LocalSearch };
})();
