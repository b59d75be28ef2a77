#!/usr/bin/env node
// A relay client on the npm "ws" package, as Node programs (button panels, show controllers) drive cameras.
//
// Usage: node relay_bench_client.js URL IP PORT COMMANDS WARM_UP
//
// Sends the pan-tilt home command COMMANDS times, each awaiting its acknowledge and its completion before the next,
// after WARM_UP untimed commands. Prints one JSON line: {"client", "commands", "seconds", "medianUs"}.
// Exits 2 when a reply does not come within two seconds or the connection fails, 3 when "ws" is missing (it is found
// through NODE_PATH).
'use strict';

let WebSocket;
try {
	WebSocket = require('ws');
} catch (error) {
	process.exit(3);
}

const REPLY_TIMEOUT_MS = 2000;

function homeCommand(serial) {
	const nibbles = [12, 8, 4, 0].map((shift) => (serial >> shift) & 0xf);
	return [1, 0, 0, 5, ...nibbles, 0x81, 0x01, 0x06, 0x04, 0xff];
}

// Replies in arrival order; next() resolves with the next one or rejects after the timeout.
function replyQueue(socket) {
	const waiting = [];
	const arrived = [];
	socket.on('message', (data) => {
		const waiter = waiting.shift();
		if (waiter) {
			clearTimeout(waiter.timer);
			waiter.resolve(data);
		} else {
			arrived.push(data);
		}
	});
	return {
		next() {
			if (arrived.length > 0)
				return Promise.resolve(arrived.shift());
			return new Promise((resolve, reject) => {
				const timer = setTimeout(() => reject(new Error('no reply')), REPLY_TIMEOUT_MS);
				waiting.push({resolve, timer});
			});
		},
	};
}

async function commandPair(socket, replies, ip, port, serial) {
	socket.send(JSON.stringify({ip, port, data: homeCommand(serial)}));
	await replies.next();
	await replies.next();
}

async function run(url, ip, port, commands, warmUp) {
	const socket = new WebSocket(url, {handshakeTimeout: REPLY_TIMEOUT_MS});
	const replies = replyQueue(socket);
	await new Promise((resolve, reject) => {
		socket.once('open', resolve);
		socket.once('error', reject);
	});
	for (let serial = 0; serial < warmUp; ++serial)
		await commandPair(socket, replies, ip, port, serial);
	const samples = [];
	const started = process.hrtime.bigint();
	for (let serial = warmUp; serial < warmUp + commands; ++serial) {
		const before = process.hrtime.bigint();
		await commandPair(socket, replies, ip, port, serial & 0xffff);
		samples.push(Number(process.hrtime.bigint() - before) / 1000);
	}
	const seconds = Number(process.hrtime.bigint() - started) / 1e9;
	socket.close();
	samples.sort((a, b) => a - b);
	const version = require('ws/package.json').version;
	return {client: 'node ws ' + version, commands, seconds, medianUs: samples[Math.floor(samples.length / 2)]};
}

const [url, ip, port, commands, warmUp] = process.argv.slice(2);
if (warmUp === undefined) {
	console.error('usage: node relay_bench_client.js URL IP PORT COMMANDS WARM_UP');
	process.exit(1);
}
run(url, ip, Number(port), Number(commands), Number(warmUp)).then(
	(result) => {
		console.log(JSON.stringify(result));
		process.exit(0);
	},
	() => process.exit(2));
