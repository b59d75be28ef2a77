#!/usr/bin/env node
// One obs-websocket (protocol 5) client through the npm package obs-websocket-js, as a button-panel program would
// use it: our vendor's requests, OBS's own requests, and the vendor's events.
//
// Usage: obs_vendor_client.js PACKAGES_DIR URL vendor REQUEST_TYPE [DATA_JSON]
//        obs_vendor_client.js PACKAGES_DIR URL obs REQUEST_TYPE [DATA_JSON]
//        obs_vendor_client.js PACKAGES_DIR URL events SECONDS
//        obs_vendor_client.js PACKAGES_DIR URL flood COUNT
//        obs_vendor_client.js PACKAGES_DIR URL burst COUNT SLOT
//        obs_vendor_client.js PACKAGES_DIR URL latency COUNT
// "vendor" prints the vendor's response data, "obs" OBS's response data, as one JSON line; "events" prints
// "listening", then each event of our vendor as a JSON line of its data, for SECONDS. "flood" sends up to COUNT
// GetCameras one after the other until the connection ends, prints "flooding" after the first answer and at the
// end {"answered", "notRunning", "refused"} (refused: by obs-websocket itself, as for a request it does not know).
// "burst" sends COUNT Move requests for SLOT at once, taps left and stop in turn (ending with a stop), and prints
// {"ok", "refused"}; "latency" asks OBS's GetVersion COUNT times in a row and prints {"p50", "p99", "max"} in ms.
// Exits 0 when the request succeeded at obs-websocket's level, 1 when it failed, 2 when the connection failed.
'use strict';

const path = require('path');
const { createRequire } = require('module');

const kVendor = 'kavren-camera-controller';
const kTimeoutMs = 10000;

async function main(argv) {
	const [packages, url, mode, ...rest] = argv;
	const requireFromBuild = createRequire(path.join(path.resolve(packages), 'package.json'));
	const { default: OBSWebSocket, EventSubscription } = requireFromBuild('obs-websocket-js/json');
	const obs = new OBSWebSocket();
	const timer = setTimeout(() => {
		console.error('no answer in time');
		process.exit(2);
	}, mode === 'events' ? Number(rest[0]) * 1000 + kTimeoutMs : kTimeoutMs);
	try {
		await obs.connect(url, undefined, { rpcVersion: 1, eventSubscriptions: EventSubscription.Vendors });
	} catch (error) {
		console.error(`connect: ${error.message}`);
		return 2;
	}
	try {
		if (mode === 'events') {
			obs.on('VendorEvent', (event) => {
				if (event.vendorName === kVendor)
					console.log(JSON.stringify({ type: event.eventType, data: event.eventData }));
			});
			console.log('listening');
			await new Promise((resolve) => setTimeout(resolve, Number(rest[0]) * 1000));
			return 0;
		}
		if (mode === 'flood') {
			clearTimeout(timer);
			return await flood(obs, Number(rest[0]));
		}
		if (mode === 'burst' || mode === 'latency') {
			clearTimeout(timer);
			console.log(JSON.stringify(await (mode === 'burst' ? burst : latency)(obs, ...rest.map(Number))));
			return 0;
		}
		const [type, data] = rest;
		const requestData = data ? JSON.parse(data) : undefined;
		if (mode === 'vendor') {
			const answer = await obs.call('CallVendorRequest', { vendorName: kVendor, requestType: type, requestData });
			console.log(JSON.stringify(answer.responseData));
		} else {
			console.log(JSON.stringify((await obs.call(type, requestData)) || {}));
		}
		return 0;
	} catch (error) {
		console.error(`request: ${error.message}`);
		return 1;
	} finally {
		clearTimeout(timer);
		await obs.disconnect();
	}
}

// Requests in a row while OBS may be quitting: each is answered, or the connection ends.
async function flood(obs, count) {
	const tally = { answered: 0, notRunning: 0, refused: 0 };
	// A request in flight when the server closes is never settled; the tally is told when the connection ends.
	const told = new Promise((resolve) => obs.once('ConnectionClosed', resolve));
	const tell = () => console.log(JSON.stringify(tally));
	told.then(() => {
		tell();
		process.exit(0);
	});
	for (let i = 0; i < count; i++) {
		let answer;
		try {
			answer = await obs.call('CallVendorRequest', { vendorName: kVendor, requestType: 'GetCameras' });
		} catch (error) {
			if (obs.identified)
				tally.refused++;
			else
				break;
			continue;
		}
		if (answer.responseData.ok)
			tally.answered++;
		else if (answer.responseData.error === 'the controller is not running')
			tally.notRunning++;
		if (tally.answered === 1 && tally.notRunning === 0)
			console.log('flooding');
	}
	tell();
	return 0;
}

async function burst(obs, count, slot) {
	const moves = [];
	for (let i = 0; i < count; i++) {
		const direction = i % 2 === 0 ? 'left' : 'stop';
		moves.push(obs.call('CallVendorRequest', {
			vendorName: kVendor, requestType: 'Move', requestData: { slot, direction } }));
	}
	const answers = await Promise.all(moves);
	const ok = answers.filter((answer) => answer.responseData.ok).length;
	return { ok, refused: answers.length - ok };
}

async function latency(obs, count) {
	const times = [];
	for (let i = 0; i < count; i++) {
		const start = process.hrtime.bigint();
		await obs.call('GetVersion');
		times.push(Number(process.hrtime.bigint() - start) / 1e6);
	}
	times.sort((a, b) => a - b);
	const at = (share) => Math.round(times[Math.min(times.length - 1, Math.floor(share * times.length))] * 10) / 10;
	return { p50: at(0.5), p99: at(0.99), max: at(1) };
}

main(process.argv.slice(2)).then((code) => process.exit(code));
